#include "CopiesRig.h"
#include "PrivateXdg.h"
#include "state/WorkAreas.h"
#include "workspace/LoginManager.h"
#include "workspace/WorkspaceCommands.h"

#include <QDirIterator>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <csignal>
#include <sys/wait.h>

using namespace korimbo;

namespace {

// A launch the desktop carries out over the bus: the program starts, but no process is reported.
class ActivatingLauncher final : public Launcher {
public:
    QString style;
    QString control;
    int Launch(const QString& file, const QString&, qint64& pid, QString& appId, QString& executable) override {
        pid = 0;
        appId = QStringLiteral("org.example.KitActivated.desktop");
        executable.clear();
        return QProcess::startDetached(QStringLiteral(KORIMBO_EDITOR_KIT), {style, control, file}) ? 0 : -1;
    }
};

// One run of an editor of the kit: its control folder, the commands the test gives it, its log.
struct Editor {
    QString control;
    bool Send(const QString& line) const {
        QFile inbox(control + QStringLiteral("/inbox"));
        return inbox.open(QIODevice::WriteOnly) && inbox.write((line + u'\n').toUtf8()) > 0;
    }
    bool Logged(const QString& line) const {
        QFile log(control + QStringLiteral("/log"));
        return log.open(QIODevice::ReadOnly) && QString::fromUtf8(log.readAll()).split(u'\n').contains(line);
    }
    bool Save(const QString& copy, const QByteArray& bytes, int n) const {
        const QString data = control + QStringLiteral("/data%1").arg(n);
        return PrivateXdg::Write(data, bytes) && Send(QStringLiteral("save ") + copy + u' ' + data);
    }
    qint64 Pid() const {
        QFile file(control + QStringLiteral("/pid"));
        return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toLongLong() : 0;
    }
};

// Every file below `folder`, by name.
QStringList FilesBelow(const QString& folder) {
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        files << it.fileName();
    }
    return files;
}

} // namespace

// Working copies under editors that behave as the ones on a Linux desktop do, started through the desktop's
// launcher and watched through /proc: each edit lands in its container, a document handed to a running
// instance stays while the instance has it, exit and logout leave copies in use alone, and afterwards the
// editing area holds no plaintext.
class TestEditorKit : public QObject {
    Q_OBJECT

private:
    TestFolders m_folders;
    PrivateXdg m_xdg;
    GioLauncher m_launcher;
    LocalProcessProbe m_probe;
    ActivatingLauncher m_activating;
    QList<qint64> m_editors;

    std::unique_ptr<CopiesRig> Started(Launcher& launcher) {
        auto rig = std::make_unique<CopiesRig>(m_folders.NewFolder(QStringLiteral("program")));
        rig->launcherInUse = &launcher;
        rig->probeInUse = &m_probe;
        return rig->StartIn(m_folders.NewFolder(QStringLiteral("box"))) ? std::move(rig) : nullptr;
    }

    // Timer 1 goes round until `done` holds or about ten seconds have passed.
    static bool TickUntil(CopiesRig& rig, const std::function<bool()>& done) {
        for (int round = 0; round < 100; ++round) {
            rig.copies->WatchTick();
            if (done())
                return true;
            QTest::qWait(100);
        }
        return false;
    }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_folders.Valid());
        if (!m_xdg.SetUp())
            QSKIP("shared-mime-info is not installed");
        for (const char* style : {"keep", "rename", "locks", "fork"}) {
            const QString id = QStringLiteral("kit-%1.desktop").arg(QLatin1String(style));
            const QString control = m_xdg.Path(QStringLiteral("control-%1").arg(QLatin1String(style)));
            QVERIFY(QDir().mkpath(control));
            QVERIFY(m_xdg.App(id, id,
                              QStringLiteral(KORIMBO_EDITOR_KIT " %1 %2").arg(QLatin1String(style), control),
                              QStringLiteral("text/plain;")));
        }
    }

    void cleanupTestCase() {
        for (const qint64 pid : m_editors)
            if (kill(pid_t(pid), SIGKILL) == 0)
                waitpid(pid_t(pid), nullptr, WNOHANG);
    }

    // Open a document, hand a second one to the running instance, save both, try a write-back of all and
    // an exit while the editor runs (both leave the copies), then close and quit: both edits are in their
    // containers and no plaintext is left in the editing area. The activated row starts the editor as the
    // desktop does over the bus: no process is reported for the launch.
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
        const Editor editor{activated ? m_xdg.Path(QStringLiteral("control-activated")) :
                                        m_xdg.Path(QStringLiteral("control-") + style)};
        QVERIFY(QDir().mkpath(editor.control));
        m_activating.style = style;
        m_activating.control = editor.control;
        auto rig = Started(activated ? static_cast<Launcher&>(m_activating) : m_launcher);
        QVERIFY(rig);
        const QString first = rig->Encrypt(rig->folder, QStringLiteral("first.txt"), "first, as stored");
        const QString second = rig->Encrypt(rig->folder, QStringLiteral("second.txt"), "second, as stored");
        const QString program = activated ? QString() : QStringLiteral("kit-") + style + QStringLiteral(".desktop");

        QString firstCopy;
        QCOMPARE(rig->copies->OpenOne(first, true, program, WorkAreas::kEditing, &firstCopy), 0);
        QTRY_VERIFY(editor.Logged(QStringLiteral("opened ") + firstCopy));
        m_editors << editor.Pid();
        QString secondCopy;
        QCOMPARE(rig->copies->OpenOne(second, true, program, WorkAreas::kEditing, &secondCopy), 0);
        QTRY_VERIFY(editor.Logged(QStringLiteral("opened ") + secondCopy));

        // The launcher of the second document ends; the instance still has both, round after round.
        for (int round = 0; round < 15; ++round) {
            rig->copies->WatchTick();
            QTest::qWait(100);
        }
        QCOMPARE(rig->Bytes(firstCopy), QByteArray("first, as stored"));
        QCOMPARE(rig->Bytes(secondCopy), QByteArray("second, as stored"));
        QVERIFY(editor.Save(firstCopy, "first, edited", 1));
        QVERIFY(editor.Save(secondCopy, "second, edited in the instance", 2));
        QTRY_VERIFY(editor.Logged(QStringLiteral("saved ") + secondCopy));
        QVERIFY(editor.Logged(QStringLiteral("saved ") + firstCopy));

        // Write back all (as logout and exit do) while the editor runs: A12, nothing written.
        AppState& s = rig->app.State();
        CLoginManager login(*s.engine, *s.registry, *s.workFolder, s.settings, rig->fs, rig->ui, *s.catalogue);
        CWorkspaceCommands commands(*rig->copies, m_probe, login, *s.registry, s.settings, rig->fs, rig->ui,
                                    *s.catalogue);
        s.settings.returnAngoMsgFlg = 0;
        QCOMPARE(commands.WriteBackAll(rig->folder, true), -1);
        QCOMPARE(rig->ui.Numbers(), QList<int>({CWorkspaceCommands::kMsgAllOpenElsewhere}));
        QVERIFY(rig->Opens(first, QStringLiteral("first.txt"), "first, as stored"));
        QVERIFY(QFileInfo::exists(firstCopy) && QFileInfo::exists(secondCopy));

        QVERIFY(editor.Send(QStringLiteral("close ") + firstCopy));
        QVERIFY(editor.Send(QStringLiteral("quit")));
        QTRY_VERIFY(editor.Logged(QStringLiteral("quit")));
        QVERIFY(TickUntil(*rig, [&] { return !QFileInfo::exists(firstCopy) && !QFileInfo::exists(secondCopy); }));
        QVERIFY(rig->Opens(first, QStringLiteral("first.txt"), "first, edited"));
        QVERIFY(rig->Opens(second, QStringLiteral("second.txt"), "second, edited in the instance"));
        QCOMPARE(FilesBelow(rig->Editing()), QStringList());
        QCOMPARE(rig->copies->Table().Watched(), 0);
        QCOMPARE(rig->ui.Numbers(), QList<int>({CWorkspaceCommands::kMsgAllOpenElsewhere}));
    }
};

QTEST_GUILESS_MAIN(TestEditorKit)
#include "TestEditorKit.moc"
