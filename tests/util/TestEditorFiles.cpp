#include "EditorLeftovers.h"
#include "util/EditorFiles.h"
#include "util/OpenFiles.h"

#include <QTemporaryDir>
#include <QTest>

using namespace korimbo;
using namespace korimbo::leftovers;
using Kind = EditorFileKind;

class TestEditorFiles : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void NameRules_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("kind");
        // clang-format off
        const std::pair<const char*, Kind> rows[] = {
            {".~lock.a.odt#", Kind::OfficeLock}, {".a.txt.swp", Kind::VimSwap}, {".env.swo", Kind::VimSwap},
            {".a.txt.kate-swp", Kind::KateSwap}, {".#a.txt", Kind::EmacsLock}, {"#a.txt#", Kind::EmacsAutoSave},
            {"a.txt~", Kind::Backup}, {"a.txt.~3~", Kind::Backup}, {"a.txt.aB3xY9", Kind::SaveTemporary},
            {".goutputstream-K2J7Q1", Kind::SaveTemporary}, {"4913", Kind::WriteProbe}, {"5036", Kind::WriteProbe},
            {"0123456789ABCDEF-0123456789ABCDEF.delf", Kind::OwnScratch},
            {".korimbo-0123456789ABCDEF.plain.part", Kind::OwnScratch}, {".korimbo-lease-a1B2c3", Kind::OwnScratch},
            // Files of their own, dot files among them.
            {".env", Kind::None}, {".gitignore", Kind::None}, {"data.sqlite", Kind::None}, {"a.backup", Kind::None},
            {"a.swp", Kind::None}, {"4914", Kind::None}, {"#", Kind::None}, {"~", Kind::None}, {"a.delf", Kind::None},
            {".korimbo-notes.part", Kind::None}};
        // clang-format on
        for (const auto& [name, kind] : rows)
            QTest::newRow(name) << QString::fromUtf8(name) << int(kind);
    }
    void NameRules() {
        QFETCH(QString, name);
        QFETCH(int, kind);
        QCOMPARE(int(EditorFileKindOf(name)), kind);
        QCOMPARE(IsEditorScratchName(name), kind != int(Kind::None));
    }

    // The PID a lock records, asked on this host; another host's cannot be asked and counts as running;
    // without a PID (the office lock), a process holding the document open decides.
    void OwnerIsAsked_data() {
        QTest::addColumn<QString>("companion");
        QTest::addColumn<QString>("owner"); // running, ended, holder (holds the document open)
        QTest::addColumn<bool>("elsewhere");
        QTest::addColumn<bool>("alive");
        for (const QString& companion : {QStringLiteral(".doc.txt.swp"), QStringLiteral(".#doc.txt")}) {
            QTest::newRow(qPrintable(companion + QStringLiteral(" running")))
                << companion << QStringLiteral("running") << false << true;
            QTest::newRow(qPrintable(companion + QStringLiteral(" ended")))
                << companion << QStringLiteral("ended") << false << false;
            QTest::newRow(qPrintable(companion + QStringLiteral(" elsewhere")))
                << companion << QStringLiteral("ended") << true << true;
        }
        const QString office = QStringLiteral(".~lock.doc.txt#");
        QTest::newRow("office, nothing holds the document") << office << QStringLiteral("ended") << false << false;
        QTest::newRow("office, document held") << office << QStringLiteral("holder") << false << true;
        QTest::newRow("office, another host") << office << QStringLiteral("ended") << true << true;
    }
    void OwnerIsAsked() {
        QFETCH(QString, companion);
        QFETCH(QString, owner);
        QFETCH(bool, elsewhere);
        QFETCH(bool, alive);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("doc.txt"));
        QVERIFY(Write(file, "text"));
        const Sleeper child(owner == QStringLiteral("holder") ? file : QString());
        QTRY_VERIFY(owner != QStringLiteral("holder") || ProcessHoldingFile(file) != 0);
        const qint64 pid = owner == QStringLiteral("running") ? child.Pid() : EndedPid();
        const QString host = elsewhere ? QStringLiteral("another-machine.example") : QSysInfo::machineHostName();
        const QString path = dir.filePath(companion);
        if (EditorFileKindOf(companion) == Kind::EmacsLock)
            QVERIFY(QFile::link(QStringLiteral("user@%1.%2:1765000000").arg(host).arg(pid), path));
        else
            QVERIFY(Write(path, EditorFileKindOf(companion) == Kind::VimSwap ? VimSwap(pid, host) : OfficeLock(host)));

        QCOMPARE(IsLockedByEditor(file), alive);
        QCOMPARE(EndedCompanionsOf(file), alive ? QStringList() : QStringList{path});
        QCOMPARE(IsFileOpenElsewhere(file), alive);
    }
};

QTEST_GUILESS_MAIN(TestEditorFiles)
#include "TestEditorFiles.moc"
