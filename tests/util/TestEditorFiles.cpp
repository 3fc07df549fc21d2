#include "EditorLeftovers.h"
#include "util/EditorFiles.h"
#include "util/OpenFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace korimbo;
using namespace korimbo::leftovers;

namespace {

QString S(const char* text) {
    return QString::fromUtf8(text);
}

} // namespace

Q_DECLARE_METATYPE(korimbo::EditorFileKind)

class TestEditorFiles : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString Path(const QString& name) const { return m_dir.filePath(name); }
    void Clear() {
        QDir dir(m_dir.path());
        for (const QString& name : dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
            QVERIFY(dir.remove(name));
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void init() { Clear(); }

    void NameRules_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<EditorFileKind>("kind");
        const auto row = [](const char* name, EditorFileKind kind) {
            QTest::newRow(name) << QString::fromUtf8(name) << kind;
        };
        row(".~lock.report.odt#", EditorFileKind::OfficeLock);
        row(".report.txt.swp", EditorFileKind::VimSwap);
        row(".report.txt.swo", EditorFileKind::VimSwap);
        row(".env.swn", EditorFileKind::VimSwap);
        row(".report.txt.kate-swp", EditorFileKind::KateSwap);
        row(".#report.txt", EditorFileKind::EmacsLock);
        row("#report.txt#", EditorFileKind::EmacsAutoSave);
        row("report.txt~", EditorFileKind::Backup);
        row("report.txt.~3~", EditorFileKind::Backup);
        row("report.txt.aB3xY9", EditorFileKind::SaveTemporary);
        row(".goutputstream-K2J7Q1", EditorFileKind::SaveTemporary);
        row("4913", EditorFileKind::WriteProbe);
        row("5036", EditorFileKind::WriteProbe);
        row("0123456789ABCDEF-0123456789ABCDEF.delf", EditorFileKind::OwnScratch);
        row(".korimbo-0123456789ABCDEF.plain.part", EditorFileKind::OwnScratch);
        row(".korimbo-lease-a1B2c3", EditorFileKind::OwnScratch);
        // Documents of their own, dot files among them.
        row(".env", EditorFileKind::None);
        row(".gitignore", EditorFileKind::None);
        row("report.txt", EditorFileKind::None);
        row("data.sqlite", EditorFileKind::None);
        row("notes.backup", EditorFileKind::None);
        row("report.swp", EditorFileKind::None);
        row("4914", EditorFileKind::None);
        row("#", EditorFileKind::None);
        row("~", EditorFileKind::None);
        row("a.delf", EditorFileKind::None);
        row(".korimbo-notes.part", EditorFileKind::None);
    }
    void NameRules() {
        QFETCH(QString, name);
        QFETCH(EditorFileKind, kind);
        QCOMPARE(EditorFileKindOf(name), kind);
        QCOMPARE(IsEditorScratchName(name), kind != EditorFileKind::None);
    }

    // Whose a lock or swap file is: the PID it records, on this host; another host's counts as running;
    // without a PID, a process holding the document open.
    void OwnerIsAsked_data() {
        QTest::addColumn<QString>("companion");
        QTest::addColumn<QString>("owner"); // "running", "ended", "holder" (holds the document), "none"
        QTest::addColumn<QString>("host");  // "here", "elsewhere"
        QTest::addColumn<bool>("alive");
        const QString vim = QStringLiteral(".doc.txt.swp");
        const QString office = QStringLiteral(".~lock.doc.txt#");
        const QString emacs = QStringLiteral(".#doc.txt");
        for (const QString& companion : {vim, emacs}) {
            const QByteArray tag = companion.toUtf8();
            QTest::newRow((tag + " running").constData()) << companion << S("running") << S("here") << true;
            QTest::newRow((tag + " ended").constData()) << companion << S("ended") << S("here") << false;
            QTest::newRow((tag + " elsewhere").constData()) << companion << S("ended") << S("elsewhere") << true;
        }
        QTest::newRow("office lock, nothing holds the document") << office << S("none") << S("here") << false;
        QTest::newRow("office lock, document held") << office << S("holder") << S("here") << true;
        QTest::newRow("office lock of another host") << office << S("none") << S("elsewhere") << true;
    }
    void OwnerIsAsked() {
        QFETCH(QString, companion);
        QFETCH(QString, owner);
        QFETCH(QString, host);
        QFETCH(bool, alive);
        const QString file = Path(QStringLiteral("doc.txt"));
        QVERIFY(Write(file, "text"));
        const Sleeper running(owner == QStringLiteral("holder") ? file : QString());
        if (owner == QStringLiteral("holder"))
            QTRY_VERIFY(ProcessHoldingFile(file) != 0);
        const qint64 pid = owner == QStringLiteral("running") ? running.Pid() : EndedPid();
        QVERIFY(pid > 0);
        const QString hostName = host == QStringLiteral("here") ? QSysInfo::machineHostName()
                                                                : QStringLiteral("another-machine.example");
        const QString path = Path(companion);
        const EditorFileKind kind = EditorFileKindOf(companion);
        if (kind == EditorFileKind::VimSwap)
            QVERIFY(Write(path, VimSwap(pid, hostName)));
        else if (kind == EditorFileKind::OfficeLock)
            QVERIFY(Write(path, OfficeLock(hostName)));
        else
            QVERIFY(QFile::link(QStringLiteral("user@%1.%2:1765000000").arg(hostName).arg(pid), path));

        QCOMPARE(EditorCompanionsOf(file).size(), 1);
        QCOMPARE(CompanionOwnerAlive(EditorCompanionsOf(file).first(), file), alive);
        QCOMPARE(IsLockedByEditor(file), alive);
        QCOMPARE(EndedCompanionsOf(file), alive ? QStringList() : QStringList{path});
        // What the write-back asks: an ended owner no longer holds the copy.
        QCOMPARE(IsFileOpenElsewhere(file), alive);
    }

    // All companions of one file are found, none of another; emacs' auto-save lives as long as its lock.
    void CompanionsOfOneFile() {
        const QString file = Path(QStringLiteral(".env"));
        QVERIFY(Write(file, "KEY=1"));
        QVERIFY(Write(Path(QStringLiteral(".env~")), "KEY=0"));
        QVERIFY(Write(Path(QStringLiteral("#.env#")), "KEY=2"));
        QVERIFY(Write(Path(QStringLiteral(".env.swp")), VimSwap(EndedPid())));
        QVERIFY(Write(Path(QStringLiteral(".other.swp")), VimSwap(EndedPid())));
        QStringList ended = EndedCompanionsOf(file);
        ended.sort();
        QCOMPARE(ended, QStringList({Path(QStringLiteral("#.env#")), Path(QStringLiteral(".env.swp")),
                                     Path(QStringLiteral(".env~"))}));

        const Sleeper emacs;
        QVERIFY(QFile::link(QStringLiteral("user@%1.%2").arg(QSysInfo::machineHostName()).arg(emacs.Pid()),
                            Path(QStringLiteral(".#.env"))));
        ended = EndedCompanionsOf(file);
        QVERIFY(!ended.contains(Path(QStringLiteral("#.env#"))));
        QVERIFY(IsLockedByEditor(file));
    }
};

QTEST_GUILESS_MAIN(TestEditorFiles)
#include "TestEditorFiles.moc"
