#include "FrameRig.h"
#include "ui/CommandIds.h"
#include "ui/OwnIcons.h"
#include "ui/TreeV.h"
#include "ui/TypeIcons.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSet>
#include <QStandardPaths>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeWidgetItem>

using namespace korimbo;

// Our own icons stand in wherever the desktop's icon theme has none, and give way to the theme where it has.
class TestOwnIcons : public QObject {
    Q_OBJECT

private:
    static QImage Image(const QIcon& icon, int size = 22) {
        return icon.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
    }

    // No theme at all, as in a bare X session: a search path with nothing in it.
    void NoTheme() {
        QIcon::setThemeSearchPaths({m_empty.path()});
        QIcon::setFallbackSearchPaths({});
        QIcon::setThemeName(QStringLiteral("korimbo-no-theme"));
    }

    QTemporaryDir m_empty;

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_empty.isValid());
    }

    // Every icon the program names is shipped, parses, and draws something of more than one colour.
    void EveryIconIsShippedAndDraws() {
        const QStringList names = {QStringLiteral("korimbo"),     QStringLiteral("login"),
                                   QStringLiteral("logout"),      QStringLiteral("write-back-all"),
                                   QStringLiteral("up"),          QStringLiteral("view-toggle"),
                                   QStringLiteral("stop"),        QStringLiteral("take-out-encrypted"),
                                   QStringLiteral("folder"),      QStringLiteral("folder-locked"),
                                   QStringLiteral("folder-open"), QStringLiteral("folder-missing"),
                                   QStringLiteral("file")};
        const QStringList shipped = OwnIconNames();
        QCOMPARE(QSet<QString>(shipped.begin(), shipped.end()), QSet<QString>(names.begin(), names.end()));
        for (const QString& name : names) {
            QVERIFY2(QSvgRenderer(QStringLiteral(":/icons/%1.svg").arg(name)).isValid(), qPrintable(name));
            const QIcon icon = OwnIcon(name);
            QVERIFY2(!icon.isNull(), qPrintable(name));
            for (int size : {16, 22, 48}) {
                const QImage image = Image(icon, size);
                QCOMPARE(image.size(), QSize(size, size));
                QSet<QRgb> colours;
                int opaque = 0;
                for (int y = 0; y < size; ++y)
                    for (int x = 0; x < size; ++x) {
                        colours.insert(image.pixel(x, y));
                        opaque += qAlpha(image.pixel(x, y)) > 128;
                    }
                QVERIFY2(colours.size() > 2 && opaque > size * size / 10, qPrintable(name));
            }
            // A greyed toolbar button must look greyed.
            QVERIFY2(icon.pixmap(22, 22, QIcon::Disabled).toImage().convertToFormat(QImage::Format_ARGB32) !=
                         Image(icon, 22),
                     qPrintable(name));
        }
        QVERIFY(OwnIcon(QStringLiteral("no-such-icon")).isNull());
        QCOMPARE(Image(ApplicationIcon(), 64), Image(OwnIcon(QStringLiteral("korimbo")), 64));
    }

    void ToolbarShowsOurIconsWithoutATheme() {
        NoTheme();
        FrameRig rig;
        QVERIFY(rig.Start());
        const struct {
            int id;
            const char* own;
        } buttons[] = {{cmd::Login, "login"},
                       {cmd::Logout, "logout"},
                       {cmd::WriteBackAll, "write-back-all"},
                       {cmd::UpOneLevel, "up"},
                       {cmd::ViewToggle, "view-toggle"},
                       {cmd::Stop, "stop"},
                       {cmd::DragTakeOutEncrypted, "take-out-encrypted"}};
        for (const auto& button : buttons) {
            QToolButton* tool = rig.frame->ToolButton(button.id);
            QVERIFY2(tool, button.own);
            QCOMPARE(Image(tool->defaultAction()->icon()), Image(OwnIcon(QString::fromLatin1(button.own))));
        }
    }

    void TreeShowsTheFolderState() {
        NoTheme();
        FrameRig rig;
        QVERIFY(rig.Start());
        CTreeV* tree = rig.frame->Tree();
        QCOMPARE(tree->topLevelItemCount(), 1);
        QTreeWidgetItem* top = tree->topLevelItem(0);
        tree->isLoggedIn = [](const QString&) { return false; };
        tree->RefreshLoginState();
        QCOMPARE(Image(top->icon(0)), Image(OwnIcon(QStringLiteral("folder-locked"))));

        tree->isLoggedIn = [](const QString&) { return true; };
        tree->RefreshLoginState();
        QCOMPARE(Image(top->icon(0)), Image(OwnIcon(QStringLiteral("folder-open"))));

        QVERIFY(QDir(rig.app.DefaultEncryptedFolder()).removeRecursively());
        tree->RefreshLoginState();
        QCOMPARE(Image(top->icon(0)), Image(OwnIcon(QStringLiteral("folder-missing"))));
    }

    void ListFallsBackToOurFileAndFolder() {
        NoTheme();
        // A name no MIME type claims, so no theme name can match either.
        QCOMPARE(Image(TypeIcon(QStringLiteral("notes.korimbo-unknown-type"), false)),
                 Image(OwnIcon(QStringLiteral("file"))));
        QCOMPARE(Image(TypeIcon(QStringLiteral("sub"), true)), Image(OwnIcon(QStringLiteral("folder"))));
    }

    // A theme that has the icon keeps it: ours only fill the gaps.
    void ThemeIconWins() {
        QTemporaryDir themes;
        QVERIFY(themes.isValid());
        const QString theme = themes.filePath(QStringLiteral("korimbo-test"));
        QVERIFY(QDir().mkpath(theme + QStringLiteral("/22x22/actions")));
        QFile index(theme + QStringLiteral("/index.theme"));
        QVERIFY(index.open(QIODevice::WriteOnly));
        index.write("[Icon Theme]\nName=korimbo-test\nDirectories=22x22/actions\n\n"
                    "[22x22/actions]\nSize=22\nType=Fixed\n");
        index.close();
        QImage red(22, 22, QImage::Format_ARGB32);
        red.fill(Qt::red);
        QVERIFY(red.save(theme + QStringLiteral("/22x22/actions/go-up.png")));
        QIcon::setThemeSearchPaths({themes.path()});
        QIcon::setThemeName(QStringLiteral("korimbo-test"));

        const QImage image = Image(ThemeOrOwnIcon(QStringLiteral("go-up"), QStringLiteral("up")));
        QCOMPARE(image.pixel(11, 11), QColor(Qt::red).rgb());
        QCOMPARE(Image(ThemeOrOwnIcon(QStringLiteral("korimbo-absent"), QStringLiteral("up"))),
                 Image(OwnIcon(QStringLiteral("up"))));
        NoTheme();
    }
};

QTEST_MAIN(TestOwnIcons)
#include "TestOwnIcons.moc"
