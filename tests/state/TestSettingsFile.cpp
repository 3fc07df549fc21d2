#include "FaultyFileSystem.h"
#include "ScriptedInteraction.h"
#include "TestCatalogue.h"
#include "state/IniFile.h"
#include "state/SettingsFile.h"

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace korimbo;

class TestSettingsFile : public QObject {
    Q_OBJECT

private:
    static QByteArray Utf16File(const QString& text) { return CIniFile::Encode(text.split(u'\n')); }

    void WriteFile(const QByteArray& bytes) {
        QFile file(SettingsFile::PathIn(m_dir.path()));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(bytes), bytes.size());
    }

    QByteArray ReadFile() {
        QFile file(SettingsFile::PathIn(m_dir.path()));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir m_dir;
    ScriptedInteraction m_ui;
    TestCatalogue m_cat;
    FaultyFileSystem m_fs;
    SettingsFile m_settings{m_fs, m_ui, m_cat};

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_dir.isValid());
    }
    void init() {
        QFile::remove(SettingsFile::PathIn(m_dir.path()));
        m_ui.Clear();
    }

    void FreshFileIsTheByteOrderMarkAndLoadsDefaults() {
        QVERIFY(!m_settings.SettingsFileExists(m_dir.path()));
        QCOMPARE(m_settings.EnsureSettingsFile(m_dir.path()), OpResult::kDone);
        QCOMPARE(ReadFile(), QByteArray("\xFF\xFE", 2));
        SettingsRecord record;
        record.sizeMfHigh = 1;
        record.usbAutoKaijyoFlg = 1;
        m_settings.LoadSettings(m_dir.path(), record);
        QCOMPARE(record.version, QStringLiteral("1.72"));
        QCOMPARE(record.sizeMfHigh, 520);
        QCOMPARE(record.sizeMfWidth, 775);
        QCOMPARE(record.lv1WidthTi, 270);
        QCOMPARE(record.extNonAplFlg, 1);
        QCOMPARE(record.usbAutoKaijyoFlg, 0);
        QCOMPARE(record.outsideReWriteSkipFlg, 0);
        QCOMPARE(record.outsideDDMoveFlg, 1);
    }

    void EnsureReportsACreateFailure() {
        m_fs.openFault = {QStringLiteral("ZORportable.ini"), ENOSPC};
        QCOMPARE(m_settings.EnsureSettingsFile(m_dir.path()), OpResult::kFailed);
        m_fs.openFault = {};
        QCOMPARE(m_ui.Numbers(), QList<int>{549});
        QVERIFY(m_ui.Messages()[0].text.contains(QStringLiteral("ディスク フル")));
    }

    void ValuesAreReadLikeTheProfileServices() {
        WriteFile(Utf16File(QStringLiteral("; a comment\n[disp]\n  sizemfhigh = abc \nSizeMfWidth=\"640\"\n"
                                           "SizeTvWidth=-12px\n[Action]\nOutsideDDMoveFlg=0\n[Base]\nVL=1.10")));
        SettingsRecord record;
        m_settings.LoadSettings(m_dir.path(), record);
        QCOMPARE(record.sizeMfHigh, 0); // letters read as 0, not as the default
        QCOMPARE(record.sizeMfWidth, 640);
        QCOMPARE(record.sizeTvWidth, -12);
        QCOMPARE(record.outsideDDMoveFlg, 1); // overridden whatever the file says
        QCOMPARE(record.version, QStringLiteral("1.10"));
        QCOMPARE(m_settings.ReadIniText(QStringLiteral("Nowhere"), QStringLiteral("x"), QStringLiteral("dflt"),
                                        SettingsFile::PathIn(m_dir.path())),
                 QStringLiteral("dflt"));
        const QString longValue(3000, u'v');
        QCOMPARE(m_settings.WriteIniInt(QStringLiteral("Disp"), QStringLiteral("Long"), 5,
                                        SettingsFile::PathIn(m_dir.path())),
                 true);
        CIniFile ini(m_fs, SettingsFile::PathIn(m_dir.path()));
        QCOMPARE(ini.Write(QStringLiteral("Disp"), QStringLiteral("Long"), longValue), 0);
        QCOMPARE(ini.Read(QStringLiteral("Disp"), QStringLiteral("Long"), QString()).size(), 1999);
    }

    // All keys come from one read of the file, with the values the key-by-key reads gave.
    void LoadReadsTheFileOnce() {
        WriteFile(Utf16File(QStringLiteral("[Disp]\nSizeMfHigh=333\nLv1WidthAt=44\n[Action]\nDandDDecryFlg=0\n[Base]\nVL=1.50")));
        m_fs.contentsReads.clear();
        SettingsRecord record;
        m_settings.LoadSettings(m_dir.path(), record);
        QCOMPARE(m_fs.contentsReads, QStringList{SettingsFile::PathIn(m_dir.path())});
        QCOMPARE(record.sizeMfHigh, 333);
        QCOMPARE(record.lv1WidthAt, 44);
        QCOMPARE(record.dandDDecryFlg, 0);
        QCOMPARE(record.sizeMfWidth, 775);
        QCOMPARE(record.version, QStringLiteral("1.50"));
        // A file that cannot be read gives the defaults, as a missing one does.
        m_fs.readFault = {QStringLiteral("ZORportable.ini"), EIO};
        SettingsRecord unread;
        unread.sizeMfHigh = 1;
        m_settings.LoadSettings(m_dir.path(), unread);
        m_fs.readFault = {};
        QCOMPARE(unread.sizeMfHigh, 520);
    }

    void VersionCheckIsOrdinal_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<OpResult>("result");
        QTest::newRow("1.8 is newer") << QStringLiteral("[Base]\nVL=1.8") << OpResult::kFailed;
        QTest::newRow("1.72") << QStringLiteral("[Base]\nVL=1.72") << OpResult::kDone;
        QTest::newRow("1.10") << QStringLiteral("[Base]\nVL=1.10") << OpResult::kDone;
        QTest::newRow("missing") << QStringLiteral("[Disp]\nDispMode=2") << OpResult::kDone;
    }
    void VersionCheckIsOrdinal() {
        QFETCH(QString, file);
        QFETCH(OpResult, result);
        WriteFile(Utf16File(file));
        SettingsRecord record;
        m_settings.LoadSettings(m_dir.path(), record);
        QCOMPARE(m_settings.CheckSettingsVersion(m_dir.path(), record), result);
        if (result != OpResult::kDone) {
            QCOMPARE(m_ui.Numbers(), QList<int>{592});
            QVERIFY(m_ui.Messages()[0].text.endsWith(m_dir.path()));
        } else {
            QVERIFY(m_ui.Messages().isEmpty());
        }
    }

    void SaveKeepsWhatItDoesNotKnowAndWritesOwnVersion() {
        WriteFile(Utf16File(QStringLiteral("[Base]\nVL=1.10\n[Other]\nKeep=me\n[Disp]\nDispMode=1\nUnknown=7")));
        SettingsRecord record;
        m_settings.LoadSettings(m_dir.path(), record);
        record.sizeMfWidth = 900;
        QCOMPARE(m_settings.SaveSettings(m_dir.path(), record), true);
        const QByteArray bytes = ReadFile();
        QVERIFY(bytes.startsWith("\xFF\xFE"));
        const QStringList lines = CIniFile::Decode(bytes);
        QVERIFY(QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + 2), (bytes.size() - 2) / 2)
                    .contains(QStringLiteral("\r\n")));
        QCOMPARE(lines.mid(0, 4), (QStringList{QStringLiteral("[Base]"), QStringLiteral("VL=1.72"),
                                               QStringLiteral("[Other]"), QStringLiteral("Keep=me")}));
        const qsizetype disp = lines.indexOf(QStringLiteral("[Disp]"));
        // Known keys are rewritten in place; new ones follow the last line of their section.
        QCOMPARE(lines[disp + 1], QStringLiteral("DispMode=1"));
        QCOMPARE(lines[disp + 2], QStringLiteral("Unknown=7"));
        QCOMPARE(lines[disp + 3], QStringLiteral("TitleMode=0"));
        QVERIFY(lines.contains(QStringLiteral("SizeMfWidth=900")));
        QCOMPARE(lines.last(), QStringLiteral("OutsideDDMoveFlg=1"));
    }

    void FreshFileHasTheKeysInWriteOrder() {
        QCOMPARE(m_settings.EnsureSettingsFile(m_dir.path()), OpResult::kDone);
        QCOMPARE(m_settings.SaveSettings(m_dir.path(), SettingsRecord()), true);
        const QStringList lines = CIniFile::Decode(ReadFile());
        QStringList keys;
        for (const QString& line : lines)
            keys.append(line.section(u'=', 0, 0));
        QCOMPARE(keys.size(), 3 + 24);
        QCOMPARE(keys.mid(0, 4), (QStringList{QStringLiteral("[Base]"), QStringLiteral("VL"), QStringLiteral("[Disp]"),
                                              QStringLiteral("DispMode")}));
        QCOMPARE(keys.indexOf(QStringLiteral("[Action]")), 16);
        QCOMPARE(keys[17], QStringLiteral("AngoOutNameMode"));
    }

    void FailedSaveLeavesTheOldFile() {
        WriteFile(Utf16File(QStringLiteral("[Disp]\nDispMode=2")));
        const QByteArray before = ReadFile();
        m_fs.writeFault = {QStringLiteral("ZORportable.ini"), ENOSPC, 10};
        QCOMPARE(m_settings.SaveSettings(m_dir.path(), SettingsRecord()), false);
        m_fs.writeFault = {};
        QCOMPARE(ReadFile(), before);
    }

    void HideIsHarmlessOffFat() {
        QCOMPARE(m_settings.EnsureSettingsFile(m_dir.path()), OpResult::kDone);
        QCOMPARE(m_settings.HideSettingsFile(m_dir.path()), OpResult::kDone);
        QVERIFY(QFile::exists(SettingsFile::PathIn(m_dir.path())));
        QFile::remove(SettingsFile::PathIn(m_dir.path()));
        QCOMPARE(m_settings.HideSettingsFile(m_dir.path()), OpResult::kFailed);
        QCOMPARE(m_ui.Numbers(), QList<int>{450});
    }
};

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "TestSettingsFile.moc"
