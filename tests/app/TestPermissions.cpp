#include "AppRig.h"
#include "TestCatalogue.h"
#include "platform/AccessCheck.h"
#include "state/FolderRegistry.h"
#include "util/ErrorText.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTest>

#include <unistd.h>

using namespace korimbo;

namespace {

const QFile::Permissions kNone;
const QFile::Permissions kReadOnly = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup;
const QFile::Permissions kOpen = kReadOnly | QFile::WriteOwner;

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Takes the given permissions for its lifetime, so that a failing check still leaves the temporary
// folders removable.
class Closed {
public:
    Closed(const QString& path, QFile::Permissions permissions)
        : m_path(path), m_ok(QFile::setPermissions(path, permissions)) {}
    ~Closed() { QFile::setPermissions(m_path, kOpen); }
    bool Ok() const { return m_ok; }

private:
    QString m_path;
    bool m_ok;
};

} // namespace

// Permission bits as a user meets them. Root reads and writes past them, so these cases skip as root;
// `make test` run as root hands the suite to nobody. The other tests fake such faults with
// FaultyFileSystem; these make sure the real refusals arrive where those fakes say they do.
class TestPermissions : public QObject {
    Q_OBJECT

private:
    TestFolders m_folders;

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_folders.Valid());
    }
    void init() {
        if (::geteuid() == 0)
            QSKIP("root reads and writes past permission bits");
    }

    void ReadOnlyProgramFolderRefusesTheStart() {
        const QString program = m_folders.NewFolder(QStringLiteral("p"));
        Closed closed(program, kReadOnly);
        QVERIFY(closed.Ok());
        AppRig rig(program);
        QVERIFY(!rig.app.InitInstance());
        QCOMPARE(rig.ui.Messages().size(), 1);
        QCOMPARE(rig.ui.Messages()[0].text, QStringLiteral("起動できません。　\n") + SystemErrorText(EACCES));
        QCOMPARE(rig.ui.Messages()[0].icon, Icon::Error);
        QVERIFY(!QFileInfo::exists(program + QStringLiteral("/ZORp")));
    }

    void UnreadableFileStopsTheAccessCheck() {
        const QString folder = m_folders.NewFolder(QStringLiteral("a"));
        const QString file = folder + QStringLiteral("/secret.txt");
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("x") == 1);
        f.close();
        Closed closed(file, kNone);
        QVERIFY(closed.Ok());
        ScriptedInteraction ui;
        FaultyFileSystem files; // no faults: the refusal comes from the permission bits
        FakeVolumes volumes;
        TestCatalogue catalogue;
        CAccessCheck check(volumes, files, ui, catalogue);
        const QString expected = QStringLiteral("A621\n") + ErrnoText(EACCES) + QStringLiteral("\n\n") + file;
        QString message;
        QCOMPARE(check.CheckAccess(file, 1, message), -1);
        QCOMPARE(ui.Numbers(), QList<int>{621});
        QCOMPARE(ui.Messages()[0].icon, Icon::Warning);
        QCOMPARE(ui.Messages()[0].text, expected);
        ui.Clear();
        QCOMPARE(check.CheckAccess(folder, 2, message), -1); // found by the walk, handed back
        QCOMPARE(message, expected);
        QVERIFY(ui.Messages().isEmpty());
    }

    void ReadOnlyEnvironmentFolderReportsTheRegistrySave() {
        AppRig rig(m_folders.NewFolder(QStringLiteral("p")));
        QVERIFY(rig.Start());
        const QString env = rig.app.EnvironmentFolder();
        const QString file = env + u'/' + FolderRegistry::kFileName;
        QCOMPARE(rig.Add(m_folders.NewFolder(QStringLiteral("f")), QStringLiteral("First#Pw1"), QStringLiteral("0"),
                         QStringLiteral("W1")),
                 0);
        const QByteArray before = ReadAll(file);
        QVERIFY(!before.isEmpty());
        Closed closed(env, kReadOnly);
        QVERIFY(closed.Ok());
        QCOMPARE(rig.Add(m_folders.NewFolder(QStringLiteral("f")), QStringLiteral("Second#Pw2"), QStringLiteral("0"),
                         QStringLiteral("W2")),
                 -1);
        QCOMPARE(rig.ui.Numbers(), QList<int>{554});
        QCOMPARE(rig.ui.Messages()[0].icon, Icon::Error);
        QVERIFY(rig.ui.Messages()[0].text.endsWith(u'\n' + file));
        QCOMPARE(ReadAll(file), before);
    }

    void UnreadableSettingsFileIsNeverOverwritten() {
        const QString program = m_folders.NewFolder(QStringLiteral("p"));
        {
            AppRig first(program);
            QVERIFY(first.Start());
            first.app.SetStartupCompleted();
            first.app.SaveAtShutdown(false);
            QVERIFY(first.ui.Messages().isEmpty());
        }
        const QString ini = EnvironmentFolderOf(program) + QStringLiteral("/ZORportable.ini");
        const QByteArray before = ReadAll(ini);
        QVERIFY(!before.isEmpty());
        {
            Closed closed(ini, kNone);
            QVERIFY(closed.Ok());
            AppRig rig(program);
            QVERIFY(rig.Start()); // unreadable values read as the defaults, silently
            QVERIFY(rig.ui.Messages().isEmpty());
            rig.app.SetStartupCompleted();
            rig.app.SaveAtShutdown(true);
            QCOMPARE(rig.ui.Numbers(), QList<int>{154}); // the save is refused and said so
        }
        QCOMPARE(ReadAll(ini), before);
    }
};

QTEST_GUILESS_MAIN(TestPermissions)
#include "TestPermissions.moc"
