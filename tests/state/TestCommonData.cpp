#include "FaultyFileSystem.h"
#include "ScriptedInteraction.h"
#include "TestCatalogue.h"
#include "state/CommonManagementData.h"
#include "state/WorkAreas.h"
#include "state/WorkFolderSettings.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace korimbo;

class TestCommonData : public QObject {
    Q_OBJECT

private:
    struct Fixture {
        explicit Fixture(const QString& env) : env(env) { static_cast<void>(engine.RegisterBuiltInKey()); }
        QString File() const { return env + QStringLiteral("/zorcl_common1.dat"); }
        // A file with the admin record and `count` entries, saved the way the dialogs do.
        int Make(int count, const QString& admin = QStringLiteral("Admin#Pw1")) {
            if (data.LoadManagementData(env, admin, 1) == Verdict::kFailed)
                return -1;
            QStringList names, passwords, hints;
            for (int i = 0; i < count; ++i) {
                names << QStringLiteral("name%1").arg(i);
                passwords << QStringLiteral("Pass%1 ").arg(i); // the trailing space is not kept
                hints << QStringLiteral("hint%1").arg(i);
            }
            if (!data.SetChangePasswords(count, names, passwords, hints))
                return -1;
            const int rc =
                data.SaveManagementData(env, admin, QStringLiteral("管理者のヒント"), 0) == OpResult::kDone ? 0 : -1;
            data.ClearManagementData();
            return rc;
        }
        QString env;
        ScriptedInteraction ui;
        TestCatalogue cat;
        FaultyFileSystem fs;
        CCryptEngine engine{ui, cat, fs};
        CommonManagementData data{engine, fs};
    };

    QString NewEnv() {
        const QString env = m_dir.filePath(QString::number(++m_envs));
        QDir().mkpath(env);
        return env;
    }

    // The file deciphered, patched and enciphered again.
    static void Patch(Fixture& f, const std::function<void(QByteArray&)>& change) {
        QFile file(f.File());
        QVERIFY(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        auto* u8 = reinterpret_cast<std::uint8_t*>(bytes.data());
        QCOMPARE(f.engine.DecipherWithBuiltInKey(u8, bytes.size()), 0);
        change(bytes);
        u8 = reinterpret_cast<std::uint8_t*>(bytes.data());
        QCOMPARE(f.engine.EncipherWithBuiltInKey(u8, bytes.size()), 0);
        file.resize(0);
        file.seek(0);
        file.write(bytes);
    }

    QTemporaryDir m_dir;
    int m_envs = 0;

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_dir.isValid());
    }

    void MissingFileIsCreatedAndLoadsEmpty() {
        Fixture f(NewEnv());
        QVERIFY(!f.data.ManagementDataExists(f.env));
        QCOMPARE(f.data.LoadManagementData(f.env, QStringLiteral("Admin#Pw1"), 1), Verdict::kNo);
        QVERIFY(f.data.Loaded());
        QCOMPARE(f.data.RecordCount(), 0);
        QVERIFY(f.data.ManagementDataExists(f.env));
    }

    void ListRoundTripsAndReadsWithoutTheAdminPassword() {
        Fixture f(NewEnv());
        QCOMPARE(f.Make(3), 0);
        QCOMPARE(QFileInfo(f.File()).size(), 4 * 1024);
        QCOMPARE(f.data.LoadManagementData(f.env, QStringLiteral(" "), 0), Verdict::kNo);
        QVERIFY(!f.data.Loaded()); // a read-only load can never be saved
        int count = 0;
        QStringList names, passwords, hints;
        f.data.GetChangePasswords(count, names, passwords, hints);
        QCOMPARE(count, 3);
        QCOMPARE(names[2], QStringLiteral("name2"));
        QCOMPARE(passwords[1], QStringLiteral("Pass1"));
        QCOMPARE(hints[0], QStringLiteral("hint0"));
        QCOMPARE(f.data.SaveManagementData(f.env, QStringLiteral(" "), QString(), 0), OpResult::kFailed);
        QCOMPARE(f.ui.Numbers(), QList<int>{562});

        QCOMPARE(f.data.IsChangePasswordRegistered(f.env, QStringLiteral("Pass2")), Verdict::kYes);
        QCOMPARE(f.data.IsChangePasswordRegistered(f.env, QStringLiteral("Pass2 ")), Verdict::kNo);
    }

    void WrongAdminPasswordFailsOnlyAStrictLoad() {
        Fixture f(NewEnv());
        QCOMPARE(f.Make(1), 0);
        QCOMPARE(f.data.LoadManagementData(f.env, QStringLiteral("Admin#Pw1"), 1), Verdict::kYes);
        QCOMPARE(f.data.LoadManagementData(f.env, QStringLiteral("Wrong#Pw"), 0), Verdict::kNo);
        QVERIFY(f.ui.Messages().isEmpty());
        QCOMPARE(f.data.LoadManagementData(f.env, QStringLiteral("Wrong#Pw"), 1), Verdict::kFailed);
        QCOMPARE(f.ui.Numbers(), QList<int>{561});
        QVERIFY(f.ui.Messages()[0].text.endsWith(QStringLiteral("管理者のヒント 」です。")));
    }

    void ChangingTheAdminPasswordKeepsTheList() {
        Fixture f(NewEnv());
        QCOMPARE(f.Make(2), 0);
        QVERIFY(f.data.LoadManagementData(f.env, QStringLiteral("Admin#Pw1"), 1) != Verdict::kFailed);
        QCOMPARE(f.data.SaveManagementData(f.env, QStringLiteral("NewAdmin#2"), QStringLiteral("新"), 1),
                 OpResult::kDone);
        QCOMPARE(f.data.LoadManagementData(f.env, QStringLiteral("NewAdmin#2"), 1), Verdict::kYes);
        int count = 0;
        QStringList names, passwords, hints;
        f.data.GetChangePasswords(count, names, passwords, hints);
        QCOMPARE(passwords, (QStringList{QStringLiteral("Pass0"), QStringLiteral("Pass1")}));
        QCOMPARE(f.data.AdminHint().trimmed(), QStringLiteral("新"));
    }

    void WalkLimits() {
        Fixture f(NewEnv());
        QCOMPARE(f.Make(2), 0);
        // 101 entries in the file: the last is skipped but counted; an unknown tag ends the walk.
        Patch(f, [](QByteArray& bytes) {
            const QByteArray entry = bytes.mid(1024, 1024);
            while (bytes.size() < 102 * 1024)
                bytes.append(entry);
        });
        QVERIFY(f.data.LoadManagementData(f.env, QStringLiteral("Admin#Pw1"), 1) != Verdict::kFailed);
        int count = 0;
        QStringList names, passwords, hints;
        f.data.GetChangePasswords(count, names, passwords, hints);
        QCOMPARE(count, 100);
        QCOMPARE(f.data.RecordCount(), 102);

        Patch(f, [](QByteArray& bytes) {
            bytes.replace(2 * 1024, 6,
                          QByteArray("0\x00"
                                     "0\x00"
                                     "9\x00",
                                     6));
        });
        QVERIFY(f.data.LoadManagementData(f.env, QStringLiteral("Admin#Pw1"), 1) != Verdict::kFailed);
        f.data.GetChangePasswords(count, names, passwords, hints);
        QCOMPARE(count, 1);
        QCOMPARE(f.data.RecordCount(), 2);
    }

    void FailedSaveLeavesThePreviousFile() {
        Fixture f(NewEnv());
        QCOMPARE(f.Make(1), 0);
        QFile file(f.File());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();
        f.fs.writeFault = {QStringLiteral("zorcl_common1"), ENOSPC, 100};
        QCOMPARE(f.Make(5), -1);
        f.fs.writeFault = {};
        QCOMPARE(f.ui.Numbers(), QList<int>{563});
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
    }

    void WorkFolderSettingsDefaultsAndRoundTrip() {
        Fixture f(NewEnv());
        WorkFolderSettings work(f.engine, f.fs, QStringLiteral("/prog/ZORp/tmp"));
        QCOMPARE(work.SaveWorkFolderSettings(f.env), OpResult::kFailed); // not loaded yet
        QCOMPARE(f.ui.Numbers(), QList<int>{568});
        QCOMPARE(work.LoadWorkFolderSettings(f.env), OpResult::kDone);
        QCOMPARE(work.angoTempFolderFlg, QStringLiteral("0"));
        QCOMPARE(work.angoTempFolder, QStringLiteral("/prog/ZORp/tmp"));
        QCOMPARE(work.dummy1, QStringLiteral("dummy"));
        QCOMPARE(work.dummy2, 1);

        work.angoTempFolderFlg = QStringLiteral("1");
        work.angoTempFolder = QStringLiteral("/fast/work");
        work.dummy2 = 7;
        QCOMPARE(work.SaveWorkFolderSettings(f.env), OpResult::kDone);
        QCOMPARE(QFileInfo(f.env + QStringLiteral("/zorcl_common2.dat")).size(), 4 * 1024);
        WorkFolderSettings again(f.engine, f.fs, QStringLiteral("/elsewhere/ZORp/tmp"));
        QCOMPARE(again.LoadWorkFolderSettings(f.env), OpResult::kDone);
        QCOMPARE(again.angoTempFolder, QStringLiteral("/fast/work"));
        QCOMPARE(again.dummy2, 7);

        // With the flag back at "0" the stored folder gives way to the standard one.
        again.angoTempFolderFlg = QStringLiteral("0");
        QCOMPARE(again.SaveWorkFolderSettings(f.env), OpResult::kDone);
        QCOMPARE(work.LoadWorkFolderSettings(f.env), OpResult::kDone);
        QCOMPARE(work.angoTempFolder, QStringLiteral("/prog/ZORp/tmp"));
    }

    // Work root / work id / area, and nothing at all when either part is missing: the work root alone
    // holds every folder's areas.
    void WorkAreasBelowTheWorkRoot() {
        QCOMPARE(WorkAreas::kAll, (QStringList{QStringLiteral("Ac"), QStringLiteral("Re"), QStringLiteral("Nf"),
                                               QStringLiteral("Ce"), QStringLiteral("To")}));
        QCOMPARE(WorkAreas::BaseOf(QStringLiteral("/w"), QStringLiteral("ID1")), QStringLiteral("/w/ID1"));
        QCOMPARE(WorkAreas::AreaOf(QStringLiteral("/w"), QStringLiteral("ID1"), WorkAreas::kEditing),
                 QStringLiteral("/w/ID1/Ac"));
        QCOMPARE(WorkAreas::AreaOf(QStringLiteral("/w"), QString(), WorkAreas::kCreation), QString());
        QCOMPARE(WorkAreas::AreaOf(QString(), QStringLiteral("ID1"), WorkAreas::kTakeOut), QString());
        QCOMPARE(WorkAreas::BaseOf(QString(), QStringLiteral("ID1")), QString());
    }
};

QTEST_GUILESS_MAIN(TestCommonData)
#include "TestCommonData.moc"
