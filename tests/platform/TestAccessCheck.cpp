#include "FaultyFileSystem.h"
#include "ScriptedInteraction.h"
#include "TestCatalogue.h"
#include "platform/AccessCheck.h"
#include "util/ErrorText.h"
#include "util/FileNames.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <sys/stat.h>

#include <fcntl.h>
#include <unistd.h>

using namespace korimbo;

namespace {

// Volumes whose access-control answer the test sets.
class FakeVolumes final : public Volumes {
public:
    bool keepsAccessControl = true;

    QString MountRoot(const QString&) override { return QStringLiteral("/"); }
    DriveType TypeOf(const QString&) override { return DriveType::Fixed; }
    bool KeepsAccessControl(const QString&) override { return keepsAccessControl; }
    SysResult FreeBytes(const QString&, qint64& bytes) override {
        bytes = 0;
        return 0;
    }
};

QString Expected(const QString& path, int error) {
    return QStringLiteral("A621\n") + ErrnoText(error) + QStringLiteral("\n\n") + path;
}

} // namespace

class TestAccessCheck : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    FakeVolumes m_volumes;
    FaultyFileSystem m_files;
    ScriptedInteraction m_ui;
    TestCatalogue m_catalogue;

    QString Make(const QString& relative) {
        const QString path = m_dir->filePath(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write("data");
        return path;
    }

    int Check(const QString& path, int mode, QString& message) {
        CAccessCheck check(m_volumes, m_files, m_ui, m_catalogue);
        return check.CheckAccess(path, mode, message);
    }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void cleanup() { VERIFY_SETTLED(m_ui); }

    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_volumes.keepsAccessControl = true;
        m_files.openFault = {};
        m_ui.Clear();
    }

    void VolumeWithoutAccessControlOpensNothing() {
        Make(QStringLiteral("a.txt"));
        Make(QStringLiteral("sub/b.txt"));
        m_volumes.keepsAccessControl = false;
        m_files.openFault = {m_dir->path(), EACCES}; // any open would fail
        QString message = QStringLiteral("stale");
        QCOMPARE(Check(m_dir->path(), 2, message), 0);
        QVERIFY(message.isEmpty());
        QCOMPARE(Check(m_dir->filePath(QStringLiteral("a.txt")), 1, message), 0);
        QVERIFY(m_ui.Messages().isEmpty());
    }

    void MissingPathAndReadableFilesPass() {
        const QString file = Make(QStringLiteral("a.txt"));
        Make(QStringLiteral("sub/deeper/b.txt"));
        QString message = QStringLiteral("stale");
        QCOMPARE(Check(m_dir->filePath(QStringLiteral("missing.txt")), 2, message), 0);
        QVERIFY(message.isEmpty());
        QCOMPARE(Check(file, 1, message), 0);
        QCOMPARE(Check(m_dir->path(), 1, message), 0);
        QVERIFY(m_ui.Messages().isEmpty());
    }

    void FileFailureShownInModeOne() {
        const QString file = Make(QStringLiteral("held.txt"));
        m_files.openFault = {QStringLiteral("held.txt"), EACCES};
        QString message = QStringLiteral("stale");
        QCOMPARE(Check(file, 1, message), -1);
        QVERIFY(message.isEmpty());
        QCOMPARE(m_ui.Messages().size(), 1);
        const auto& shown = m_ui.Messages().first();
        QCOMPARE(shown.number, 621);
        QCOMPARE(shown.icon, Icon::Warning);
        QCOMPARE(shown.buttons, Buttons::Ok);
        QCOMPARE(shown.text, Expected(file, EACCES));
    }

    void FileFailureHandedBackInOtherModes_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("2") << 2;
        QTest::newRow("0") << 0;
    }
    void FileFailureHandedBackInOtherModes() {
        QFETCH(int, mode);
        const QString file = Make(QStringLiteral("held.txt"));
        m_files.openFault = {QStringLiteral("held.txt"), EBUSY};
        QString message;
        QCOMPARE(Check(file, mode, message), -1);
        QCOMPARE(message, Expected(file, EBUSY));
        QVERIFY(m_ui.Messages().isEmpty());
    }

    void WalkStopsAtFirstFailure() {
        Make(QStringLiteral("a_ok.txt"));
        const QString first = Make(QStringLiteral("b_bad.txt"));
        Make(QStringLiteral("c_bad.txt"));
        m_files.openFault = {QStringLiteral("_bad"), EACCES};
        QString message;
        QCOMPARE(Check(m_dir->path(), 2, message), -1);
        QCOMPARE(message, Expected(first, EACCES));
    }

    // A name that is not UTF-8 (a Shift-JIS file from an archive) is tested like any other.
    void WalkTestsNamesThatAreNotText() {
        const QByteArray raw = QFile::encodeName(m_dir->path()) + "/\x83\x65\x83\x58\x83\x67_bad.txt";
        const int fd = ::open(raw.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        QVERIFY(fd >= 0 && ::close(fd) == 0);
        m_files.openFault = {QStringLiteral("_bad"), EACCES};
        QString message;
        QCOMPARE(Check(m_dir->path(), 2, message), -1);
        QCOMPARE(message, Expected(PathFromNative(raw), EACCES));
    }

    void WalkDescendsIntoNestedAndHiddenEntries() {
        Make(QStringLiteral("a.txt"));
        const QString deep = Make(QStringLiteral("sub/.hidden/deeper/x_bad.txt"));
        m_files.openFault = {QStringLiteral("_bad"), EACCES};
        QString message;
        QCOMPARE(Check(m_dir->path(), 1, message), -1);
        QCOMPARE(m_ui.Messages().size(), 1);
        QCOMPARE(m_ui.Messages().first().text, Expected(deep, EACCES));
    }

    void WalkSurvivesLinksAndSpecialFiles() {
        Make(QStringLiteral("sub/a.txt"));
        // A link back up the tree must not be walked forever, and a FIFO must not be opened (it would block).
        QVERIFY(QFile::link(m_dir->path(), m_dir->filePath(QStringLiteral("sub/loop"))));
        QVERIFY(QFile::link(m_dir->filePath(QStringLiteral("gone")), m_dir->filePath(QStringLiteral("dangling"))));
        QCOMPARE(::mkfifo(QFile::encodeName(m_dir->filePath(QStringLiteral("pipe"))).constData(), 0600), 0);
        QString message;
        QCOMPARE(Check(m_dir->path(), 2, message), 0);
        QVERIFY(message.isEmpty());

        // A link to a file is tested through its target.
        const QString target = Make(QStringLiteral("target.txt"));
        const QString link = m_dir->filePath(QStringLiteral("sub/link.txt"));
        QVERIFY(QFile::link(target, link));
        m_files.openFault = {QStringLiteral("link.txt"), EACCES};
        QCOMPARE(Check(m_dir->filePath(QStringLiteral("sub")), 2, message), -1);
        QCOMPARE(message, Expected(link, EACCES));
    }
};

QTEST_GUILESS_MAIN(TestAccessCheck)
#include "TestAccessCheck.moc"
