// The program's own folder, also when the dynamic loader started it: the executable when that is the
// program, else the launcher's word, else argv[0]; never the loader's folder.

#include "util/ProgramPlace.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace korimbo;

class TestProgramPlace : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString At(const char* path) const { return m_dir.filePath(QLatin1String(path)); }
    QString In(const char* folder) const { return At(folder) + QStringLiteral("/korimbo-portable"); }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        for (const char* folder : {"stick", "other", "lib64"}) {
            QFile file(In(folder)); // no execute bit, as on a stick mounted without them
            QVERIFY(QDir().mkpath(At(folder)) && file.open(QIODevice::WriteOnly));
        }
    }

    // Columns: the launcher's variable, /proc/self/exe, argv[0]; the folder taken ("" for none).
    void FolderOf_data() {
        QTest::addColumn<QString>("announced");
        QTest::addColumn<QString>("executable");
        QTest::addColumn<QString>("argument0");
        QTest::addColumn<QString>("expected");
        const QString stick = At("stick");
        const QString loader = At("lib64/ld-linux-x86-64.so.2");
        QTest::newRow("started directly") << QString() << In("stick") << In("stick") << stick;
        QTest::newRow("launcher, through the loader") << stick + u'/' << loader << QString() << stick;
        QTest::newRow("inherited variable, started directly") << At("other") << In("stick") << QString() << stick;
        QTest::newRow("a folder without the program") << At("lib64/x") << loader << In("stick") << stick;
        QTest::newRow("loader and a bare name")
            << QString() << loader << QStringLiteral("korimbo-portable") << QString();
    }
    void FolderOf() {
        QFETCH(QString, announced);
        QFETCH(QString, executable);
        QFETCH(QString, argument0);
        QFETCH(QString, expected);
        QCOMPARE(ProgramFolderOf({announced, executable, argument0}, QStringLiteral("korimbo-portable")), expected);
    }
};

QTEST_GUILESS_MAIN(TestProgramPlace)
#include "TestProgramPlace.moc"
