#include "PrivateXdg.h"
#include "platform/Associations.h"
#include "platform/UserFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace korimbo;

namespace {

constexpr int kManyTemplates = 35;

} // namespace

// GIO reads the XDG variables once per process: one private tree serves every case below.
//   image/png      default viewer, also viewer-copy (same executable name, other case), paint, ghost
//   text/plain     default editor
//   *.kx01..kx35   own types, all opened by "everything"; *.library-ms likewise
//   *.kghost       own type whose only application has no executable
//   *.zzqq         unknown
class TestAssociations : public QObject {
    Q_OBJECT

private:
    PrivateXdg m_xdg;
    QString m_bin;
    QString m_templates;
    QString m_source;

    QString Path(const QString& relative) const { return m_xdg.Path(relative); }
    static bool Write(const QString& path, const QByteArray& content) { return PrivateXdg::Write(path, content); }
    static bool Program(const QString& path) { return PrivateXdg::Script(path, "#!/bin/sh\nexit 0\n"); }
    bool App(const QString& id, const QString& name, const QString& exec, const QString& types) {
        return m_xdg.App(id, name, exec, types);
    }
    static bool Run(const QString& program, const QStringList& arguments) {
        return PrivateXdg::Run(program, arguments);
    }

    static OpenWithList OpenWith(GioAssociations& associations, const QString& ext, int fallback) {
        OpenWithList list;
        associations.OpenWithPrograms(ext, fallback, list);
        return list;
    }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_xdg.Valid());
        if (!m_xdg.SetUp())
            QSKIP("shared-mime-info is not installed");
        m_bin = Path(QStringLiteral("bin"));
        m_templates = Path(QStringLiteral("templates"));
        m_source = m_templates;

        for (const QString& name : {QStringLiteral("viewer"), QStringLiteral("sub/VIEWER"), QStringLiteral("paint"),
                                    QStringLiteral("editor"), QStringLiteral("everything")}) {
            QVERIFY(Program(m_bin + u'/' + name));
        }
        QByteArray package = "<?xml version=\"1.0\"?>\n"
                             "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n";
        QString everything;
        for (int i = 1; i <= kManyTemplates; ++i) {
            const QString number = QString::number(i).rightJustified(2, u'0');
            package += QStringLiteral("<mime-type type=\"application/x-korimbo-t%1\"><comment>Test type %1</comment>"
                                      "<glob pattern=\"*.kx%1\"/></mime-type>\n")
                           .arg(number)
                           .toUtf8();
            everything += QStringLiteral("application/x-korimbo-t%1;").arg(number);
            QVERIFY(Write(Path(QStringLiteral("many/t%1.kx%1").arg(number)), "x"));
        }
        package += "<mime-type type=\"application/x-korimbo-library\"><glob pattern=\"*.library-ms\"/></mime-type>\n"
                   "<mime-type type=\"application/x-korimbo-ghost\"><glob pattern=\"*.kghost\"/></mime-type>\n"
                   "</mime-info>\n";
        everything += QStringLiteral("application/x-korimbo-library;");
        QVERIFY(Write(Path(QStringLiteral("data/mime/packages/korimbo-test.xml")), package));
        QVERIFY(Run(QStringLiteral("update-mime-database"), {Path(QStringLiteral("data/mime"))}));

        QVERIFY(App(QStringLiteral("viewer.desktop"), QStringLiteral("Test Viewer"), m_bin + QStringLiteral("/viewer"),
                    QStringLiteral("image/png;")));
        QVERIFY(App(QStringLiteral("viewer-copy.desktop"), QStringLiteral("Viewer Copy"),
                    m_bin + QStringLiteral("/sub/VIEWER"), QStringLiteral("image/png;")));
        QVERIFY(App(QStringLiteral("paint.desktop"), QStringLiteral("Test Paint"), m_bin + QStringLiteral("/paint"),
                    QStringLiteral("image/png;")));
        QVERIFY(App(QStringLiteral("ghost.desktop"), QStringLiteral("Ghost"), m_bin + QStringLiteral("/ghost"),
                    QStringLiteral("image/png;application/x-korimbo-ghost;")));
        QVERIFY(App(QStringLiteral("editor.desktop"), QStringLiteral("Test Editor"), m_bin + QStringLiteral("/editor"),
                    QStringLiteral("text/plain;")));
        QVERIFY(App(QStringLiteral("everything.desktop"), QStringLiteral("Everything"),
                    m_bin + QStringLiteral("/everything"), everything));
        QVERIFY(Run(QStringLiteral("update-desktop-database"), {Path(QStringLiteral("data/applications"))}));
        QVERIFY(Write(Path(QStringLiteral("config/mimeapps.list")),
                      "[Default Applications]\nimage/png=viewer.desktop;\ntext/plain=editor.desktop;\n"
                      "[Added Associations]\nimage/png=paint.desktop;ghost.desktop;viewer.desktop;\n"));

        for (const QString& name :
             {QStringLiteral("Memo.txt"), QStringLiteral("Plan.png"), QStringLiteral("Second.png"),
              QStringLiteral("Blob.zzqq"), QStringLiteral(".hidden.kx02"), QStringLiteral("README"),
              QStringLiteral("Old.library-ms"), QStringLiteral("Sheet.kx01")}) {
            QVERIFY(Write(m_templates + u'/' + name, "x"));
        }
        QVERIFY(Write(Path(QStringLiteral("many/a.library-ms")), "x"));
        QVERIFY(Write(Path(QStringLiteral("home/Home.png")), "x"));
    }

    void defaultProgram() {
        GioAssociations associations([this] { return m_source; });
        const QString viewer = m_bin + QStringLiteral("/viewer");
        QString program;
        QCOMPARE(associations.DefaultProgramOf(QStringLiteral(".png"), program), 0);
        QCOMPARE(program, viewer);
        program.clear();
        QCOMPARE(associations.DefaultProgramOf(QStringLiteral("png"), program), 0);
        QCOMPARE(program, viewer);
        QCOMPARE(associations.DefaultProgramOf(QStringLiteral(".kx07"), program), 0);
        QCOMPARE(program, m_bin + QStringLiteral("/everything"));
        QString id;
        QCOMPARE(associations.DefaultAppIdOf(QStringLiteral("png"), id), 0);
        QCOMPARE(id, QStringLiteral("viewer.desktop"));

        program = QStringLiteral("unchanged");
        for (const QString& ext :
             {QString(), QStringLiteral("."), QStringLiteral(".zzqq"), QStringLiteral(".kghost")}) {
            QCOMPARE(associations.DefaultProgramOf(ext, program), -1);
            QCOMPARE(associations.DefaultAppIdOf(ext, id), -1);
        }
        QCOMPARE(program, QStringLiteral("unchanged"));
    }

    void fileTypeName() {
        GioAssociations associations([this] { return m_source; });
        QString name;
        QCOMPARE(associations.FileTypeName(QStringLiteral(".png"), name), 0);
        QCOMPARE(name, QStringLiteral("PNG image"));
        QCOMPARE(associations.FileTypeName(QStringLiteral("txt"), name), 0);
        QCOMPARE(name, QStringLiteral("plain text document"));
        QCOMPARE(associations.FileTypeName(QStringLiteral(".kx12"), name), 0);
        QCOMPARE(name, QStringLiteral("Test type 12"));
        for (const QString& ext : {QString(), QStringLiteral(".zzqq"), QStringLiteral(".bin")}) {
            QCOMPARE(associations.FileTypeName(ext, name), -1);
        }
    }

    void openWith() {
        GioAssociations associations([this] { return m_source; });
        // Default first; the same program again (also under another case or path) and a missing one are left out.
        const OpenWithList png = OpenWith(associations, QStringLiteral("png"), 1);
        QCOMPARE(png.paths, QStringList({m_bin + QStringLiteral("/viewer"), m_bin + QStringLiteral("/paint")}));
        QCOMPARE(png.names, QStringList({QStringLiteral("Test Viewer"), QStringLiteral("Test Paint")}));
        QCOMPARE(png.appIds, QStringList({QStringLiteral("viewer.desktop"), QStringLiteral("paint.desktop")}));

        const QStringList placeholder{QString()};
        for (const QString& ext : {QStringLiteral(".zzqq"), QStringLiteral(".kghost")}) {
            const OpenWithList none = OpenWith(associations, ext, 0);
            QCOMPARE(none.paths, placeholder);
            QCOMPARE(none.names, placeholder);
            QCOMPARE(none.appIds, placeholder);
            const OpenWithList text = OpenWith(associations, ext, 1);
            QCOMPARE(text.paths, QStringList({QString(), m_bin + QStringLiteral("/editor")}));
            QCOMPARE(text.names, QStringList({QString(), QStringLiteral("Test Editor")}));
            QCOMPARE(text.appIds, QStringList({QString(), QStringLiteral("editor.desktop")}));
        }
        // The fallback is only for an empty offer.
        QCOMPARE(OpenWith(associations, QStringLiteral(".kx03"), 1).paths,
                 QStringList({m_bin + QStringLiteral("/everything")}));
    }

    void shellNew() {
        GioAssociations associations([this] { return m_source; });
        ShellNew found;
        QCOMPARE(associations.ShellNewOf(QStringLiteral("png"), found), 0);
        QCOMPARE(found.kind, QStringLiteral("FileName"));
        QCOMPARE(found.value, m_templates + QStringLiteral("/Plan.png"));
        QCOMPARE(associations.ShellNewOf(QStringLiteral(".TXT"), found), 0);
        QCOMPARE(found.kind, QStringLiteral("FileName"));
        QCOMPARE(found.value, m_templates + QStringLiteral("/Memo.txt"));
        // A template makes a ShellNew entry even without a program; hidden files are no templates.
        QCOMPARE(associations.ShellNewOf(QStringLiteral(".zzqq"), found), 0);
        QCOMPARE(associations.ShellNewOf(QStringLiteral(".kx02"), found), -1);
        QCOMPARE(associations.ShellNewOf(QString(), found), -1);

        m_source = Path(QStringLiteral("many"));
        QCOMPARE(associations.ShellNewOf(QStringLiteral(".txt"), found), 0);
        QCOMPARE(found.kind, QStringLiteral("NullFile"));
        QVERIFY(found.value.isEmpty());
        m_source = m_templates;
    }

    void newFileTypes() {
        GioAssociations associations([this] { return m_source; });
        // No program for .zzqq, .library-ms never, README has no extension, one .png and one .txt only.
        QCOMPARE(associations.CollectNewFileTypes(),
                 QStringList({QStringLiteral(".txt"), QStringLiteral(".png"), QStringLiteral(".kx01")}));

        m_source = Path(QStringLiteral("many"));
        QStringList expected{QStringLiteral(".txt")};
        for (int i = 1; expected.size() < kMaxNewFileTypes; ++i) {
            expected.append(QStringLiteral(".kx") + QString::number(i).rightJustified(2, u'0'));
        }
        QCOMPARE(associations.CollectNewFileTypes(), expected);

        ShellNew found;
        for (const QString& off : {QString(), Path(QStringLiteral("missing")), QDir::homePath()}) {
            m_source = off;
            QCOMPARE(associations.CollectNewFileTypes(), QStringList({QStringLiteral(".txt")}));
            QCOMPARE(associations.ShellNewOf(QStringLiteral(".png"), found), -1);
        }
        m_source = m_templates;
    }

    void displayName() {
        GioAssociations associations([this] { return m_source; });
        QCOMPARE(associations.ProgramDisplayName(m_bin + QStringLiteral("/viewer")), QStringLiteral("Test Viewer"));
        QCOMPARE(associations.ProgramDisplayName(m_bin + QStringLiteral("/sub/VIEWER")), QStringLiteral("Viewer Copy"));
        QCOMPARE(associations.ProgramDisplayName(QStringLiteral("/opt/tools/tool")), QStringLiteral("tool"));
        QCOMPARE(associations.ProgramDisplayName(QStringLiteral("tool")), QStringLiteral("tool"));
        QCOMPARE(ProgramFileName(QStringLiteral("/usr/bin/gedit")), QStringLiteral("gedit"));
        QCOMPARE(ProgramFileName(QStringLiteral("gedit")), QStringLiteral("gedit"));
        QCOMPARE(ProgramFileName(QStringLiteral("/usr/bin/")), QString());
    }

    void userFolders() {
        // Test mode keeps Qt from reading user-dirs.dirs: the templates folder is $HOME/Templates here.
        LocalUserFolders folders;
        QCOMPARE(folders.Templates(), Path(QStringLiteral("home/Templates")));
        QCOMPARE(folders.Documents(), QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
        QCOMPARE(folders.Desktop(), QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
        GioAssociations associations(folders);
        QCOMPARE(associations.CollectNewFileTypes(), QStringList({QStringLiteral(".txt")}));
        QVERIFY(Write(Path(QStringLiteral("home/Templates/Draft.png")), "x"));
        QCOMPARE(associations.CollectNewFileTypes(), QStringList({QStringLiteral(".txt"), QStringLiteral(".png")}));
    }
};

QTEST_GUILESS_MAIN(TestAssociations)
#include "TestAssociations.moc"
