// Kills the writers of the program with SIGKILL at random moments and checks after each kill, the way
// the next start would, that the file written is its old or its new complete self and that nothing the
// user had is lost. KILL_SEED replays one sequence of moments; KILL_ROUNDS changes the number of kills,
// KILL_PLAIN_ROUNDS those of "暗号化する(&U)" (whose every kill starts a process and encrypts megabytes).

#include "KillVersions.h"

#include <algorithm>

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace korimbo;

namespace {

const QString kDriver = QStringLiteral(KORIMBO_KILL_DRIVER);
const QString kCli = QStringLiteral(KORIMBO_CLI_PATH);
const QByteArray kCliPassword = "Kill#Test42";

struct Finished {
    int exitCode = -1;
    QString out;
    QString err;
};

Finished RunToEnd(const QString& program, const QStringList& args, const QProcessEnvironment& env) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, args);
    Finished result;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        result.err = QStringLiteral("did not finish");
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

qint64 VersionIn(const QString& out) {
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("version (\\d+)")).match(out);
    return match.hasMatch() ? match.captured(1).toLongLong() : -1;
}

} // namespace

class TestKillSafety : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QTemporaryDir m_runtime;
    QProcessEnvironment m_env = QProcessEnvironment::systemEnvironment();
    QRandomGenerator m_random;
    int m_rounds = 200;
    int m_plainRounds = 80;

    // One kill: the run mode starts, sets up, and is killed at a random moment within `window` ms of
    // being ready. Whether it got through a round first is written to `completedRounds`.
    bool KillOnce(const QStringList& runArgs, int window, int& completedRounds) {
        QProcess process;
        process.setProcessEnvironment(m_env);
        process.start(kDriver, runArgs);
        QByteArray output;
        while (!output.contains("ready\n")) {
            if (!process.waitForReadyRead(60000)) {
                qWarning() << "no ready:" << process.readAllStandardError();
                return false;
            }
            output += process.readAllStandardOutput();
        }
        // The moment of the kill is the point of the test, so this one pause is deliberate.
        QThread::usleep(m_random.bounded(window * 1000 + 1));
        process.kill();
        process.waitForFinished();
        output += process.readAllStandardOutput();
        completedRounds = int(output.count("done\n"));
        return process.exitStatus() == QProcess::CrashExit;
    }

    // How long one round of a run mode takes, in ms: it runs until it has done `rounds` rounds.
    int RoundTime(const QStringList& runArgs, int rounds) {
        QProcess process;
        process.setProcessEnvironment(m_env);
        process.start(kDriver, runArgs);
        QByteArray output;
        QElapsedTimer clock;
        while (output.count("done\n") < rounds) {
            if (!process.waitForReadyRead(60000))
                break;
            output += process.readAllStandardOutput();
            if (output.contains("ready\n") && !clock.isValid())
                clock.start();
        }
        process.kill();
        process.waitForFinished();
        return clock.isValid() && output.count("done\n") >= rounds ? int(clock.elapsed() / rounds) + 1 : -1;
    }

    // Kills a run mode m_rounds times, each followed by its check; the versions the checks found.
    void KillAndCheck(const QStringList& runArgs, const QStringList& checkArgs, QList<qint64>& versions) {
        const int round = RoundTime(runArgs, 3);
        QVERIFY2(round > 0, "the run mode does not complete its rounds");
        int landedInsideRounds = 0;
        for (int kill = 0; kill < m_rounds; ++kill) {
            int completed = 0;
            QVERIFY(KillOnce(runArgs, 2 * round, completed));
            landedInsideRounds += completed <= 2 ? 1 : 0;
            const Finished check = RunToEnd(kDriver, checkArgs, m_env);
            QVERIFY2(check.exitCode == 0, qPrintable(QStringLiteral("after kill %1: %2").arg(kill).arg(check.err)));
            versions << VersionIn(check.out);
            QVERIFY(versions.last() >= 0);
        }
        qInfo("%d kills, one round %d ms, %d within the first rounds, %lld distinct versions, last %lld", m_rounds,
              round, landedInsideRounds, qint64(QSet<qint64>(versions.begin(), versions.end()).size()),
              versions.last());
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_dir.isValid() && m_runtime.isValid());
        m_env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        m_env.insert(QStringLiteral("KORIMBO_PASSWORD"), QString::fromLatin1(kCliPassword));
        const quint32 seed = qEnvironmentVariableIsSet("KILL_SEED") ? quint32(qEnvironmentVariableIntValue("KILL_SEED"))
                                                                    : QRandomGenerator::global()->generate();
        m_random.seed(seed);
        if (qEnvironmentVariableIsSet("KILL_ROUNDS"))
            m_rounds = qEnvironmentVariableIntValue("KILL_ROUNDS");
        if (qEnvironmentVariableIsSet("KILL_PLAIN_ROUNDS"))
            m_plainRounds = qEnvironmentVariableIntValue("KILL_PLAIN_ROUNDS");
        qInfo("KILL_SEED=%u", seed);
    }

    // A write-back killed anywhere leaves the container at its old or its new version; an edit it had
    // not written back yet is still in the editing area and goes in on the next start.
    void WriteBackSurvivesKills() {
        const QString program = m_dir.filePath(QStringLiteral("wb-program"));
        const QString root = m_dir.filePath(QStringLiteral("wb-box"));
        QVERIFY(QDir().mkpath(program) && QDir().mkpath(root));
        const Finished prepared = RunToEnd(kDriver, {QStringLiteral("prepare-writeback"), program, root}, m_env);
        QVERIFY2(prepared.exitCode == 0, qPrintable(prepared.err));
        QList<qint64> versions;
        KillAndCheck({QStringLiteral("writeback"), program, root}, {QStringLiteral("check-writeback"), program, root},
                     versions);
        if (QTest::currentTestFailed())
            return;
        // Versions only grow: no kill took a written-back edit away.
        for (qsizetype i = 1; i < versions.size(); ++i)
            QVERIFY2(versions[i] >= versions[i - 1], qPrintable(QStringLiteral("kill %1").arg(i)));
        QVERIFY(versions.last() > 0);
    }

    void SettingsSaveSurvivesKills() {
        const QString program = m_dir.filePath(QStringLiteral("settings-program"));
        QVERIFY(QDir().mkpath(program));
        QList<qint64> versions;
        KillAndCheck({QStringLiteral("settings"), program}, {QStringLiteral("check-settings"), program}, versions);
        if (!QTest::currentTestFailed())
            QVERIFY(versions.last() > versions.first());
    }

    void RegistrySaveSurvivesKills() {
        const QString program = m_dir.filePath(QStringLiteral("registry-program"));
        const QString root = m_dir.filePath(QStringLiteral("registry-box"));
        const QString other = m_dir.filePath(QStringLiteral("registry-other"));
        QVERIFY(QDir().mkpath(program) && QDir().mkpath(root) && QDir().mkpath(other));
        const Finished prepared = RunToEnd(kDriver, {QStringLiteral("prepare-writeback"), program, root}, m_env);
        QVERIFY2(prepared.exitCode == 0, qPrintable(prepared.err));
        QList<qint64> versions;
        KillAndCheck({QStringLiteral("registry"), program, root, other},
                     {QStringLiteral("check-registry"), program, root, other}, versions);
        if (!QTest::currentTestFailed())
            QCOMPARE(QSet<qint64>(versions.begin(), versions.end()), QSet<qint64>({0, 1}));
    }

    // "暗号化する(&U)" killed anywhere: after the next start's housekeeping every file is whole in its
    // folder or in its container, and nothing is left in the creation area.
    void PlainEncryptionSurvivesKills() {
        const QString program = m_dir.filePath(QStringLiteral("plain-program"));
        const QString root = m_dir.filePath(QStringLiteral("plain-box"));
        QVERIFY(QDir().mkpath(program) && QDir().mkpath(root));
        const Finished prepared = RunToEnd(kDriver, {QStringLiteral("prepare-writeback"), program, root}, m_env);
        QVERIFY2(prepared.exitCode == 0, qPrintable(prepared.err));
        const QStringList run{QStringLiteral("plain"), program, root};
        const QStringList check{QStringLiteral("check-plain"), program, root};
        // One whole run, from ready to done, sets the window; a little longer, so that some kills come late.
        const int window = RoundTime(run, 1) + 1;
        QVERIFY2(window > 1, "the command does not complete");
        QVERIFY(RunToEnd(kDriver, check, m_env).out.contains(QStringLiteral("parked 0 encrypted 3")));
        QSet<QString> outcomes;
        for (int kill = 0, unused = 0; kill < m_plainRounds; ++kill) {
            QVERIFY(KillOnce(run, window, unused));
            const Finished after = RunToEnd(kDriver, check, m_env);
            QVERIFY2(after.exitCode == 0, qPrintable(QStringLiteral("after kill %1: %2").arg(kill).arg(after.err)));
            outcomes.insert(after.out.trimmed());
        }
        qInfo("%s", qPrintable(QStringList(outcomes.begin(), outcomes.end()).join(QStringLiteral(", "))));
        // Kills landed inside the encryption, and some found files parked that went back.
        QVERIFY(outcomes.size() >= 2);
        QVERIFY(std::any_of(outcomes.begin(), outcomes.end(),
                            [](const QString& outcome) { return !outcome.startsWith(QStringLiteral("parked 0 ")); }));
    }

    // korimbo-cli encrypting over an existing container, killed at random: the container decrypts to
    // one of the two sources, whole.
    void CliEncryptOverContainerSurvivesKills() {
        const QString work = m_dir.filePath(QStringLiteral("cli"));
        QVERIFY(QDir().mkpath(work + QStringLiteral("/a")) && QDir().mkpath(work + QStringLiteral("/b")) &&
                QDir().mkpath(work + QStringLiteral("/out")));
        const QStringList sources{work + QStringLiteral("/a/doc.bin"), work + QStringLiteral("/b/doc.bin")};
        for (int i = 0; i < 2; ++i) {
            QFile file(sources[i]);
            const QByteArray bytes = KillVersions::Make(i + 1, 3 * 1024 * 1024);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        }
        const QString container = work + QStringLiteral("/doc.zorf");
        QElapsedTimer clock;
        clock.start();
        const Finished first = RunToEnd(kCli, {QStringLiteral("encrypt"), sources[0], container}, m_env);
        // A little longer than one run, so that some kills come after the new container is in place.
        const int window = int(clock.elapsed() * 13 / 10) + 1;
        QVERIFY2(first.exitCode == 0, qPrintable(first.err));

        QSet<qint64> seen;
        for (int kill = 0; kill < m_rounds; ++kill) {
            QProcess process;
            process.setProcessEnvironment(m_env);
            process.start(kCli, {QStringLiteral("encrypt"), sources[(kill + 1) % 2], container});
            QVERIFY(process.waitForStarted());
            // The moment of the kill is the point of the test, so this one pause is deliberate.
            QThread::usleep(m_random.bounded(window * 1000 + 1));
            process.kill();
            process.waitForFinished();

            const QString decrypted = work + QStringLiteral("/out/doc.bin");
            QFile::remove(decrypted);
            const Finished check =
                RunToEnd(kCli, {QStringLiteral("decrypt"), container, work + QStringLiteral("/out/")}, m_env);
            QVERIFY2(check.exitCode == 0, qPrintable(QStringLiteral("after kill %1: %2").arg(kill).arg(check.err)));
            QFile file(decrypted);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const qint64 version = KillVersions::Check(file.readAll());
            QVERIFY2(version == 1 || version == 2, qPrintable(QStringLiteral("after kill %1").arg(kill)));
            seen << version;
        }
        qInfo("%d kills of one %d ms encryption, versions seen: %lld", m_rounds, window, qint64(seen.size()));
        QCOMPARE(seen.size(), 2);
        // One more run into the folder takes away what the killed ones left there.
        const qsizetype leftovers =
            QDir(work).entryList({QStringLiteral(".korimbo-*")}, QDir::Files | QDir::Hidden).size();
        qInfo("%lld temporary files left by the kills", qint64(leftovers));
        QCOMPARE(RunToEnd(kCli, {QStringLiteral("encrypt"), sources[0], container}, m_env).exitCode, 0);
        const QStringList left = QDir(work).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        QCOMPARE(left, QStringList({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("doc.zorf"),
                                    QStringLiteral("out")}));
    }
};

QTEST_GUILESS_MAIN(TestKillSafety)
#include "TestKillSafety.moc"
