#include "FrameRig.h"
#include "ui/CommandIds.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

using namespace korimbo;

// The help command: the installation's help file when there is one, else our own guide that travels beside
// the program in ZORp/help/, handed to the desktop's program for its type.
class TestHelp : public QObject {
    Q_OBJECT

private:
    // The guide as the build lays it beside the program.
    static QString ShippedGuide() { return QStringLiteral(KORIMBO_PORTABLE_DIR "/ZORp/help/index.html"); }

    static bool CopyGuideInto(const FrameRig& rig) {
        const QString help = rig.dir.filePath(QStringLiteral("ZORp/help"));
        return QDir().mkpath(help) && QFile::copy(ShippedGuide(), help + QStringLiteral("/index.html"));
    }

    static QString ReadGuide() {
        QFile file(ShippedGuide());
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void GuideBesideTheProgramIsOpenedInTheBrowser() {
        FrameRig rig;
        QVERIFY(CopyGuideInto(rig));
        QVERIFY(rig.Start());
        rig.launcher.calls.clear();
        const int before = rig.ui.Messages().size();
        rig.frame->OnCommand(cmd::Help);
        QCOMPARE(rig.ui.Messages().size(), before);
        QCOMPARE(rig.launcher.calls.size(), 1);
        QCOMPARE(rig.launcher.calls[0].file, rig.dir.filePath(QStringLiteral("ZORp/help/index.html")));
        QVERIFY(rig.launcher.calls[0].program.isEmpty()); // the desktop's program for HTML
    }

    void InstalledHelpFileComesFirst() {
        FrameRig rig;
        QVERIFY(CopyGuideInto(rig));
        QFile chm(rig.dir.filePath(QStringLiteral("ZORp/ZORportable.chm")));
        QVERIFY(chm.open(QIODevice::WriteOnly));
        chm.close();
        QVERIFY(rig.Start());
        rig.launcher.calls.clear();
        rig.frame->OnCommand(cmd::Help);
        QCOMPARE(rig.launcher.calls.size(), 1);
        QCOMPARE(rig.launcher.calls[0].file, chm.fileName());
    }

    void NoProgramForTheGuideSaysSo() {
        FrameRig rig;
        QVERIFY(CopyGuideInto(rig));
        QVERIFY(rig.Start());
        rig.launcher.result = -1;
        const int before = rig.ui.Messages().size();
        rig.frame->OnCommand(cmd::Help);
        QCOMPARE(rig.ui.Messages().size(), before + 1);
        QCOMPARE(rig.ui.Messages().last().text, QStringLiteral("ヘルプが見つかりません　"));
    }

    void EndedBrowserIsReaped() {
        FrameRig rig;
        QVERIFY(CopyGuideInto(rig));
        QVERIFY(rig.Start());
        rig.processes.running.insert(rig.launcher.pid);
        rig.launcher.calls.clear();
        rig.frame->OnCommand(cmd::Help);
        QCOMPARE(rig.launcher.calls.size(), 1);
        QVERIFY(rig.frame->findChild<QTimer*>(QStringLiteral("helpReaper")));
        QTRY_VERIFY(rig.processes.isRunningCalls > 0);
        rig.processes.End(rig.launcher.pid);
        QTRY_VERIFY(!rig.frame->findChild<QTimer*>(QStringLiteral("helpReaper")));
    }

    // The guide covers what a user needs without anyone at hand, in Japanese, and its table of contents
    // leads somewhere.
    void GuideCoversEveryTopic() {
        const QString guide = ReadGuide();
        QVERIFY2(!guide.isEmpty(), qPrintable(ShippedGuide()));
        QVERIFY(guide.contains(QStringLiteral("<html lang=\"ja\">")));
        QVERIFY(guide.contains(QStringLiteral("<meta charset=\"utf-8\">")));
        const QStringList topics = {QStringLiteral("first-start"), QStringLiteral("register-login"),
                                    QStringLiteral("put-in"),      QStringLiteral("open-write-back"),
                                    QStringLiteral("take-out"),    QStringLiteral("keep-safe"),
                                    QStringLiteral("settings"),
                                    QStringLiteral("work-folder"), QStringLiteral("lost-password")};
        QSet<QString> ids;
        for (const auto& match : QRegularExpression(QStringLiteral("id=\"([^\"]+)\"")).globalMatch(guide))
            ids.insert(match.captured(1));
        for (const QString& topic : topics)
            QVERIFY2(ids.contains(topic), qPrintable(topic));
        int links = 0;
        for (const auto& match : QRegularExpression(QStringLiteral("href=\"#([^\"]+)\"")).globalMatch(guide)) {
            QVERIFY2(ids.contains(match.captured(1)), qPrintable(match.captured(1)));
            ++links;
        }
        QCOMPARE(links, topics.size());
        // The work areas the guide explains are the ones the program makes.
        for (const char* area : {"Ac", "Re", "To", "Nf", "Ce"})
            QVERIFY2(guide.contains(QStringLiteral("…/") + QLatin1String(area)), area);
    }
};

QTEST_MAIN(TestHelp)
#include "TestHelp.moc"
