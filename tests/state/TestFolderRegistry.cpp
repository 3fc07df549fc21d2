#include "FaultyFileSystem.h"
#include "ScriptedInteraction.h"
#include "TestCatalogue.h"
#include "state/FolderRegistry.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace korimbo;

class TestFolderRegistry : public QObject {
    Q_OBJECT

private:
    struct Fixture {
        explicit Fixture(const QString& env, RegistryPlaces places = {}) : env(env), registry(engine, fs, places) {
            static_cast<void>(engine.RegisterBuiltInKey());
        }
        QString File() const { return env + QStringLiteral("/zorcl_folder.dat"); }
        OpResult Add(const QString& path, const QString& password = QStringLiteral("Folder#Pw1")) {
            return registry.AddFolder(env, path, QStringLiteral("hint of ") + path.section(u'/', -1), password,
                                      QStringLiteral("0"), QStringLiteral("WORKID"), QStringLiteral("1"), 2);
        }
        QString env;
        ScriptedInteraction ui;
        TestCatalogue cat;
        FaultyFileSystem fs;
        CCryptEngine engine{ui, cat, fs};
        FolderRegistry registry;
    };

    static QByteArray ReadAll(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QString NewEnv() {
        const QString env = m_dir.filePath(QString::number(++m_envs));
        QDir().mkpath(env);
        return env;
    }

    QTemporaryDir m_dir;
    int m_envs = 0;

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_dir.isValid());
    }

    void MissingFileIsAnEmptyLoadedRegistry() {
        Fixture f(NewEnv());
        QCOMPARE(f.registry.LoadFolderRegistry(f.env), OpResult::kDone);
        QVERIFY(f.registry.Loaded());
        QCOMPARE(f.registry.Count(), 0);
        QVERIFY(QFile::exists(f.File()));
        QCOMPARE(QFileInfo(f.File()).size(), 0);
    }

    void AddedFoldersComeBackWithEveryField() {
        Fixture f(NewEnv());
        QCOMPARE(f.registry.LoadFolderRegistry(f.env), OpResult::kDone);
        QCOMPARE(f.Add(QStringLiteral("/data/one")), OpResult::kDone);
        QCOMPARE(f.Add(QStringLiteral("/data/two"), QStringLiteral("Other#Pw2")), OpResult::kDone);
        QCOMPARE(QFileInfo(f.File()).size(), 2 * 4096);
        QCOMPARE(f.registry.WorkIdText(1), QStringLiteral("WORKID")); // the table follows the file at once
        QCOMPARE(f.registry.DriveTypeOf(1), 2);

        Fixture g(f.env);
        QCOMPARE(g.registry.LoadFolderRegistry(g.env), OpResult::kDone);
        QCOMPARE(g.registry.Count(), 2);
        QCOMPARE(g.registry.PathText(1), QStringLiteral("/data/two"));
        QCOMPARE(g.registry.WorkIdText(0), QStringLiteral("WORKID"));
        QCOMPARE(g.registry.ReadOnlyText(0), QStringLiteral("0"));
        QCOMPARE(g.registry.AutoReleaseText(0), QStringLiteral("1"));
        QCOMPARE(g.registry.DriveTypeOf(0), 2);
        QVERIFY(g.registry.IsFolderRegistered(QStringLiteral("/data/one")));
        QVERIFY(!g.registry.IsFolderRegistered(QStringLiteral("/DATA/one")));
        QString hint;
        QCOMPARE(g.registry.GetFolderHint(QStringLiteral("/data/two"), hint), OpResult::kDone);
        QCOMPARE(hint.size(), 48);
        QCOMPARE(hint.trimmed(), QStringLiteral("hint of two"));
        const QByteArray record = g.registry.Entry(0).Record();
        QCOMPARE(record.mid(FolderEntry::kBlankOffset), QByteArray(4096 - FolderEntry::kBlankOffset, ' '));

        QCOMPARE(g.registry.VerifyFolderPassword(QStringLiteral("/data/one"), QStringLiteral("Folder#Pw1")),
                 Verdict::kYes);
        QCOMPARE(g.registry.VerifyFolderPassword(QStringLiteral("/data/one"), QStringLiteral("Other#Pw2")),
                 Verdict::kNo);
        QCOMPARE(g.registry.IsPasswordUsedByAnyFolder(QStringLiteral("Other#Pw2")), Verdict::kYes);
        QCOMPARE(g.registry.IsPasswordUsedByAnyFolder(QStringLiteral("Nobody#9")), Verdict::kNo);
        QVERIFY(g.ui.Messages().isEmpty());

        QCOMPARE(g.registry.VerifyFolderPassword(QStringLiteral("/nowhere"), QStringLiteral("x")), Verdict::kFailed);
        QCOMPARE(g.registry.GetFolderHint(QStringLiteral("/nowhere"), hint), OpResult::kFailed);
        QCOMPARE(g.registry.RemoveFolder(g.env, QStringLiteral("/nowhere")), OpResult::kFailed);
        QCOMPARE(g.ui.Numbers(), (QList<int>{556, 557, 555}));
    }

    void RemovalShiftsLaterEntries() {
        Fixture f(NewEnv());
        static_cast<void>(f.registry.LoadFolderRegistry(f.env));
        for (const char* name : {"/a", "/b", "/c"})
            QCOMPARE(f.Add(QString::fromLatin1(name)), OpResult::kDone);
        QCOMPARE(f.registry.RemoveFolder(f.env, QStringLiteral("/b")), OpResult::kDone);
        QCOMPARE(f.registry.LoadFolderRegistry(f.env), OpResult::kDone);
        QCOMPARE(f.registry.Count(), 2);
        QCOMPARE(f.registry.PathText(1), QStringLiteral("/c"));
        QCOMPARE(f.registry.PathText(2), QString());
        // The one lookup by path: exact text only, and an empty path never finds an empty slot.
        QCOMPARE(f.registry.SlotOf(QStringLiteral("/c")), 1);
        QCOMPARE(f.registry.SlotOf(QStringLiteral("/a")), 0);
        QCOMPARE(f.registry.SlotOf(QStringLiteral("/b")), -1);
        QCOMPARE(f.registry.SlotOf(QStringLiteral("/c/")), -1);
        QCOMPARE(f.registry.SlotOf(QString()), -1);
    }

    void RecordsBeyondTheTableOrALengthAreIgnored() {
        Fixture f(NewEnv());
        static_cast<void>(f.registry.LoadFolderRegistry(f.env));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(f.Add(QStringLiteral("/f%1").arg(i)), OpResult::kDone);
        // A 96-byte tail loads three entries; a tail that is no whole block fails in the buffer layer.
        QByteArray plain = ReadAll(f.File());
        QCOMPARE(f.engine.DecipherWithBuiltInKey(reinterpret_cast<std::uint8_t*>(plain.data()), plain.size()), 0);
        auto writeEnciphered = [&](QByteArray bytes) {
            static_cast<void>(
                f.engine.EncipherWithBuiltInKey(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size()));
            QFile file(f.File());
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(bytes);
        };
        writeEnciphered(plain + QByteArray(96, 'x'));
        QCOMPARE(f.registry.LoadFolderRegistry(f.env), OpResult::kDone);
        QCOMPARE(f.registry.Count(), 3);

        QByteArray many;
        for (int i = 0; i < 101; ++i)
            many.append(plain.left(4096));
        writeEnciphered(many);
        QCOMPARE(f.registry.LoadFolderRegistry(f.env), OpResult::kDone);
        QCOMPARE(f.registry.Count(), 100);

        QFile file(f.File());
        QVERIFY(file.open(QIODevice::Append));
        file.write(QByteArray(100, 'y'));
        file.close();
        QCOMPARE(f.registry.LoadFolderRegistry(f.env), OpResult::kFailed);
        QVERIFY(!f.registry.Loaded());
    }

    void UnreadableRegistryIsNeverOverwritten() {
        Fixture f(NewEnv());
        static_cast<void>(f.registry.LoadFolderRegistry(f.env));
        QCOMPARE(f.Add(QStringLiteral("/keep")), OpResult::kDone);
        const QByteArray before = ReadAll(f.File());
        f.fs.readFault = {QStringLiteral("zorcl_folder"), EIO};
        QCOMPARE(f.registry.LoadFolderRegistry(f.env), OpResult::kFailed);
        f.fs.readFault = {};
        QCOMPARE(f.ui.Numbers(), QList<int>{552});
        QCOMPARE(f.Add(QStringLiteral("/new")), OpResult::kFailed);
        QCOMPARE(f.ui.Numbers(), (QList<int>{552, 553}));
        QCOMPARE(ReadAll(f.File()), before);
    }

    void InterruptedSaveLeavesThePreviousFile() {
        Fixture f(NewEnv());
        static_cast<void>(f.registry.LoadFolderRegistry(f.env));
        QCOMPARE(f.Add(QStringLiteral("/one")), OpResult::kDone);
        const QByteArray before = ReadAll(f.File());
        f.fs.writeFault = {QStringLiteral("zorcl_folder"), ENOSPC, 5000};
        QCOMPARE(f.Add(QStringLiteral("/two")), OpResult::kFailed);
        f.fs.writeFault = {};
        QCOMPARE(f.ui.Numbers(), QList<int>{554});
        QCOMPARE(ReadAll(f.File()), before);
        QCOMPARE(f.registry.LoadFolderRegistry(f.env), OpResult::kDone);
        QCOMPARE(f.registry.Count(), 1);
    }

    // A failed save takes the change back in memory too: the retry is accepted, and no later save
    // writes the entry that failed or drops the one whose removal failed.
    void FailedSaveLeavesTheTableAsTheFile() {
        Fixture f(NewEnv());
        static_cast<void>(f.registry.LoadFolderRegistry(f.env));
        QCOMPARE(f.Add(QStringLiteral("/one")), OpResult::kDone);
        f.fs.writeFault = {QStringLiteral("zorcl_folder"), ENOSPC, 0};
        QCOMPARE(f.Add(QStringLiteral("/two")), OpResult::kFailed);
        QVERIFY(!f.registry.IsFolderRegistered(QStringLiteral("/two")));
        QCOMPARE(f.registry.Count(), 1);
        f.fs.writeFault = {};
        QCOMPARE(f.Add(QStringLiteral("/two")), OpResult::kDone);
        QCOMPARE(f.registry.Count(), 2);

        f.fs.writeFault = {QStringLiteral("zorcl_folder"), EIO, 100};
        QCOMPARE(f.registry.RemoveFolder(f.env, QStringLiteral("/one")), OpResult::kFailed);
        QVERIFY(f.registry.IsFolderRegistered(QStringLiteral("/one")));
        f.fs.writeFault = {};
        QCOMPARE(f.Add(QStringLiteral("/three")), OpResult::kDone);
        QCOMPARE(f.ui.Numbers(), (QList<int>{554, 554}));

        Fixture g(f.env);
        QCOMPARE(g.registry.LoadFolderRegistry(g.env), OpResult::kDone);
        QCOMPARE(g.registry.Count(), 3);
        QCOMPARE(g.registry.PathText(0), QStringLiteral("/one"));
        QCOMPARE(g.registry.PathText(1), QStringLiteral("/two"));
        QCOMPARE(g.registry.PathText(2), QStringLiteral("/three"));
    }

    void PlaceholdersFollowTheFoldersOfThisRun() {
        const QString env = NewEnv();
        auto mountRoot = [](const QString& path) {
            return path.startsWith(QStringLiteral("/media/stick")) ? QStringLiteral("/media/stick")
                                                                   : QStringLiteral("/");
        };
        RegistryPlaces before{QStringLiteral("/home/a/Documents"), QStringLiteral("/home/a/Desktop"),
                              QStringLiteral("/media/stick"), mountRoot};
        {
            Fixture f(env, before);
            static_cast<void>(f.registry.LoadFolderRegistry(env));
            QCOMPARE(f.Add(QStringLiteral("/home/a/Documents/Work")), OpResult::kDone);
            QCOMPARE(f.Add(QStringLiteral("/home/a/Desktop/Safe")), OpResult::kDone);
            QCOMPARE(f.Add(QStringLiteral("/media/stick/Data/Safe")), OpResult::kDone);
            QCOMPARE(f.Add(QStringLiteral("/srv/plain")), OpResult::kDone);
            QCOMPARE(f.Add(QStringLiteral("/home/a/DocumentsOld")), OpResult::kDone);
            QCOMPARE(f.registry.StoredForm(QStringLiteral("/home/a/Documents/Work")),
                     QStringLiteral("[CSIDL_PERSONAL]/Work"));
        }
        RegistryPlaces after{QStringLiteral("/home/b/Dokumente"), QStringLiteral("/home/b/Schreibtisch"),
                             QStringLiteral("/run/media/b/STICK"), nullptr};
        Fixture g(env, after);
        QCOMPARE(g.registry.LoadFolderRegistry(env), OpResult::kDone);
        QCOMPARE(g.registry.PathText(0), QStringLiteral("/home/b/Dokumente/Work"));
        QCOMPARE(g.registry.PathText(1), QStringLiteral("/home/b/Schreibtisch/Safe"));
        QCOMPARE(g.registry.PathText(2), QStringLiteral("/run/media/b/STICK/Data/Safe"));
        QCOMPARE(g.registry.PathText(3), QStringLiteral("/srv/plain"));
        QCOMPARE(g.registry.PathText(4), QStringLiteral("/home/a/DocumentsOld"));
    }
};

QTEST_GUILESS_MAIN(TestFolderRegistry)
#include "TestFolderRegistry.moc"
