#include "CopiesRig.h"
#include "PrivateXdg.h"
#include "state/WorkAreas.h"
#include "util/MessageNumbers.h"
#include "workspace/LoginManager.h"
#include "workspace/WorkspaceCommands.h"

#include <QDirIterator>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <csignal>

using namespace korimbo;

namespace {

// A launch the desktop carries out over the bus: the program starts, but no process is reported.
class ActivatingLauncher final : public Launcher {
public:
    QStringList arguments; // style and control folder
    int Launch(const QString& file, const QString&, qint64& pid, QString& appId, QString& executable) override {
        pid = 0;
        appId = QStringLiteral("org.example.KitActivated.desktop");
        executable.clear();
        return QProcess::startDetached(QStringLiteral(KORIMBO_EDITOR_KIT), arguments + QStringList{file}) ? 0 : -1;
    }
};

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// Working copies under editors that behave as those of a Linux desktop do (tests/support/EditorKit.cpp),
// started through the desktop's launcher and watched through /proc.
class TestEditorKit : public QObject {
    Q_OBJECT

private:
    TestFolders m_folders;
    PrivateXdg m_xdg;
    GioLauncher m_launcher;
    LocalProcessProbe m_probe;
    ActivatingLauncher m_activating;

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_folders.Valid());
        if (!m_xdg.SetUp())
            QSKIP("shared-mime-info is not installed");
    }

    // Two documents, the second handed to the running instance by a launcher that then ends. While the
    // instance runs, the watch follows it and write-back of all (as logout and exit do it) leaves both
    // copies (A12); once it quits, both edits are in their containers and no plaintext is left.
    void EditsLandUnderRealEditorBehaviours_data() {
        QTest::addColumn<QString>("style");
        QTest::addColumn<bool>("activated");
        for (const char* style : {"keep", "rename", "locks", "fork"})
            QTest::newRow(style) << QString::fromLatin1(style) << false;
        QTest::newRow("activated over the bus") << QStringLiteral("keep") << true;
    }
    void EditsLandUnderRealEditorBehaviours() {
        QFETCH(QString, style);
        QFETCH(bool, activated);
        const QString control = m_xdg.Path(QStringLiteral("control-") + QString::fromUtf8(QTest::currentDataTag()).replace(u' ', u'-'));
        QVERIFY(QDir().mkpath(control));
        const QString id = QStringLiteral("kit-") + style + QStringLiteral(".desktop");
        QVERIFY(m_xdg.App(id, id, QStringLiteral(KORIMBO_EDITOR_KIT " %1 %2").arg(style, control),
                          QStringLiteral("text/plain;")));
        m_activating.arguments = {style, control};
        auto rig = std::make_unique<CopiesRig>(m_folders.NewFolder(QStringLiteral("program")));
        rig->launcherInUse = activated ? static_cast<Launcher*>(&m_activating) : &m_launcher;
        rig->probeInUse = &m_probe;
        QVERIFY(rig->StartIn(m_folders.NewFolder(QStringLiteral("box"))));
        const auto send = [&](const QString& line) {
            QFile inbox(control + QStringLiteral("/inbox"));
            return inbox.open(QIODevice::WriteOnly) && inbox.write((line + u'\n').toUtf8()) > 0;
        };
        const auto logged = [&](const QString& line) {
            return QString::fromUtf8(Read(control + QStringLiteral("/log"))).split(u'\n').contains(line);
        };

        QStringList containers;
        QStringList copies;
        for (const QString& name : {QStringLiteral("first.txt"), QStringLiteral("second.txt")}) {
            containers << rig->Encrypt(rig->folder, name, name.toUtf8() + " as stored");
            QString copy;
            QCOMPARE(
                rig->copies->OpenOne(containers.last(), true, activated ? QString() : id, WorkAreas::kEditing, &copy),
                OpResult::kDone);
            QTRY_VERIFY(logged(QStringLiteral("opened ") + copy));
            copies << copy;
        }
        const qint64 instance = Read(control + QStringLiteral("/pid")).trimmed().toLongLong();
        // The launchers have ended: every slot follows the instance, and the copies are still there.
        QTRY_VERIFY((rig->copies->WatchTick(), rig->copies->Table().pid[0] == instance &&
                                                   rig->copies->Table().pid[1] == instance));
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(CopiesRig::Bytes(copies[i]), QFileInfo(copies[i]).fileName().toUtf8() + " as stored");
            QVERIFY(CopiesRig::WriteRaw(control + QStringLiteral("/data%1").arg(i), "edit " + QByteArray::number(i)));
            QVERIFY(send(QStringLiteral("save %1 %2/data%3").arg(copies[i], control).arg(i)));
            QTRY_VERIFY(logged(QStringLiteral("saved ") + copies[i]));
        }

        AppState& s = rig->app.State();
        CLoginManager login(*s.engine, *s.registry, *s.workFolder, s.settings, rig->fs, rig->ui, *s.catalogue);
        CWorkspaceCommands commands(*rig->copies, login, *s.registry, s.settings, rig->fs, rig->ui,
                                    *s.catalogue);
        s.settings.returnAngoMsgFlg = 0;
        QCOMPARE(commands.WriteBackAll(rig->folder, true), OpResult::kFailed);
        QCOMPARE(rig->ui.Numbers(), QList<int>({msg::kWriteBackAllOpenElsewhere}));
        QVERIFY(QFileInfo::exists(copies[0]) && QFileInfo::exists(copies[1]));

        QVERIFY(send(QStringLiteral("quit")));
        QTRY_VERIFY_WITH_TIMEOUT(
            (rig->copies->WatchTick(), !QFileInfo::exists(copies[0]) && !QFileInfo::exists(copies[1])), 10000);
        for (int i = 0; i < 2; ++i)
            QVERIFY(rig->Opens(containers[i], QFileInfo(copies[i]).fileName(), "edit " + QByteArray::number(i)));
        QVERIFY(!QDirIterator(rig->Editing(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories).hasNext());
        if (kill(pid_t(instance), 0) == 0)
            kill(pid_t(instance), SIGKILL);
    }
};

QTEST_GUILESS_MAIN(TestEditorKit)
#include "TestEditorKit.moc"
