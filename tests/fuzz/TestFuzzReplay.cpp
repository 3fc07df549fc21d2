// Replays every file of the fuzz corpora (seeds and the inputs of past findings) through the entry the
// fuzzers use, in the ordinary build: a crash that was fixed stays fixed, and the seeds, made by the
// program's own writers, must still be read as valid.
#include "FuzzRig.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace korimbo;
using namespace korimbo::fuzz;

class TestFuzzReplay : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_rig.Ready()); }

    void EveryCorpusFolderNamesATargetAndHoldsSeeds() {
        const QDir corpus(QStringLiteral(KORIMBO_FUZZ_CORPUS));
        for (const QString& folder : corpus.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            Target target;
            QVERIFY2(TargetByName(folder, target), qPrintable(folder));
        }
        for (const TargetName& t : kTargets) {
            const QDir dir(corpus.filePath(QLatin1String(t.name)));
            QVERIFY2(!dir.entryList({QStringLiteral("seed-*")}, QDir::Files).isEmpty(), t.name);
        }
    }

    void Replay_data() {
        QTest::addColumn<int>("target");
        QTest::addColumn<QString>("path");
        const QDir corpus(QStringLiteral(KORIMBO_FUZZ_CORPUS));
        for (const TargetName& t : kTargets) {
            const QDir dir(corpus.filePath(QLatin1String(t.name)));
            for (const QString& file : dir.entryList(QDir::Files, QDir::Name))
                QTest::addRow("%s/%s", t.name, qPrintable(file)) << int(t.target) << dir.filePath(file);
        }
    }

    // Every file runs through its reader without a crash (the sanitizer build also catches what a crash
    // does not show); a seed must be accepted, a finding need not be.
    void Replay() {
        QFETCH(int, target);
        QFETCH(QString, path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const Outcome outcome = m_rig.Run(static_cast<Target>(target), file.readAll());
        if (QFileInfo(path).fileName().startsWith(QStringLiteral("seed-")))
            QCOMPARE(outcome, kAccepted);
    }

    // The plain form of an input is enciphered by the rig: a seed's raw and plain forms are the same file.
    void PlainAndRawFormsAgree() {
        const QDir dir(QStringLiteral(KORIMBO_FUZZ_CORPUS "/registry"));
        QFile raw(dir.filePath(QStringLiteral("seed-two-raw")));
        QVERIFY(raw.open(QIODevice::ReadOnly));
        const QByteArray rawInput = raw.readAll();
        QByteArray plainInput(1, char(kModePlain));
        plainInput += m_rig.PlainOf(Target::Registry, rawInput.mid(1));
        QCOMPARE(m_rig.FileBytes(Target::Registry, plainInput), rawInput.mid(1));
    }

private:
    FuzzRig m_rig;
};

QTEST_GUILESS_MAIN(TestFuzzReplay)
#include "TestFuzzReplay.moc"
