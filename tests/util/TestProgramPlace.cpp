// The program's own folder when it may have been started through the dynamic loader: the executable when
// that is the program, else the launcher's word, else argv[0]; never the loader's folder.

#include "util/ProgramPlace.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace korimbo;

class TestProgramPlace : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString Stick() const { return m_dir.filePath(QStringLiteral("stick")); }
    QString Program() const { return Stick() + QStringLiteral("/korimbo-portable"); }
    QString OtherStick() const { return m_dir.filePath(QStringLiteral("other")); }
    QString Loader() const { return m_dir.filePath(QStringLiteral("lib64/ld-linux-x86-64.so.2")); }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir().mkpath(Stick()) && QDir().mkpath(OtherStick()) && QDir().mkpath(m_dir.filePath(QStringLiteral("lib64"))) &&
                QDir().mkpath(m_dir.filePath(QStringLiteral("elsewhere"))));
        for (const QString& file : {Program(), OtherStick() + QStringLiteral("/korimbo-portable"), Loader()}) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly)); // no execute bit: as on a stick mounted without them
        }
    }

    // Columns: the launcher's variable, /proc/self/exe, argv[0]; the folder taken ("" for none).
    void FolderOf_data() {
        QTest::addColumn<QString>("announced");
        QTest::addColumn<QString>("executable");
        QTest::addColumn<QString>("argument0");
        QTest::addColumn<QString>("expected");
        const QString stick = Stick();
        const QString program = Program();
        const QString loader = Loader();
        const QString elsewhere = m_dir.filePath(QStringLiteral("elsewhere"));
        QTest::newRow("started directly") << QString() << program << program << stick;
        QTest::newRow("launcher, through the loader") << stick << loader << program << stick;
        QTest::newRow("launcher's word with a trailing slash") << stick + u'/' << loader << QString() << stick;
        QTest::newRow("loader, no launcher: argv[0]") << QString() << loader << program << stick;
        QTest::newRow("a folder without the program is not taken") << elsewhere << loader << program << stick;
        QTest::newRow("started directly, an inherited variable names another folder")
            << OtherStick() << program << program << stick;
        QTest::newRow("loader and a bare name: nothing")
            << QString() << loader << QStringLiteral("korimbo-portable") << QString();
        QTest::newRow("loader, argv[0] another program") << QString() << loader << loader << QString();
        QTest::newRow("nothing readable") << QString() << QString() << QString() << QString();
    }
    void FolderOf() {
        QFETCH(QString, announced);
        QFETCH(QString, executable);
        QFETCH(QString, argument0);
        QFETCH(QString, expected);
        QCOMPARE(ProgramFolderOf({announced, executable, argument0}, QStringLiteral("korimbo-portable")), expected);
    }

    // This test program, started directly, is found where it is, and the launcher's variable is read.
    void ThisProcess() {
        const QString self = QCoreApplication::applicationFilePath();
        qunsetenv(kProgramFolderVariable);
        ProgramPlace place = ThisProcessPlace(nullptr);
        QCOMPARE(place.executable, self);
        QVERIFY(place.announced.isEmpty());
        QCOMPARE(ProgramFolderOf(place, QFileInfo(self).fileName()), QFileInfo(self).absolutePath());

        qputenv(kProgramFolderVariable, QFile::encodeName(Stick()));
        place = ThisProcessPlace("./argv0");
        qunsetenv(kProgramFolderVariable);
        QCOMPARE(place.announced, Stick());
        QCOMPARE(place.argument0, QStringLiteral("./argv0"));
    }
};

QTEST_GUILESS_MAIN(TestProgramPlace)
#include "TestProgramPlace.moc"
