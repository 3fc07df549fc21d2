// The integrity scan: a folder of 10,000 small containers (files per second) and one of four large ones
// (MB/s of plain data), each with one worker and with one per processor, beside the engine's own
// verification of one large container, the single-file figure the scan is held against.
#include "BenchData.h"
#include "BenchRig.h"
#include "crypto/ContainerScan.h"
#include "folder/FolderScan.h"
#include "state/MessageCatalogue.h"
#include "util/ConsoleInteraction.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUuid>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <thread>

using namespace korimbo;

namespace {

constexpr int kSmall = 10000;
constexpr int kLarge = 4;
constexpr qint64 kLargeBytes = 24ll * 1024 * 1024;

struct ScanFixture : bench::BenchEngine {
    QString small;
    QString large;
    QString random;
    qint64 largePlain = 0;

    int Set() {
        small = dir.filePath(QStringLiteral("small"));
        large = dir.filePath(QStringLiteral("large"));
        random = dir.filePath(QStringLiteral("random"));
        if (!QDir().mkpath(small) || !QDir().mkpath(large) || !QDir().mkpath(random) || Start(small) != 0)
            return -1;
        return MakeSmall() == 0 && MakeLarge() == 0 ? 0 : -1;
    }
    // Ten small office files (2 to 20 KB) encrypted once, their containers copied under fresh names.
    int MakeSmall() {
        const QString plain = dir.filePath(QStringLiteral("plain"));
        if (!QDir().mkpath(plain) || bench::BenchData::WriteOfficeCorpus(plain, 10, 2000, 20000) != 0)
            return -1;
        QList<QByteArray> sealed;
        for (const QString& name : QDir(plain).entryList(QDir::Files)) {
            const QString container = dir.filePath(name + QStringLiteral(".zorf"));
            if (engine.EncryptFile(plain + u'/' + name, container, small) != 0)
                return -1;
            sealed.append(bench::ReadAll(container));
        }
        for (int i = 0; i < kSmall; ++i)
            if (bench::WriteUnderFreshName(small, sealed.at(i % sealed.size())).isEmpty())
                return -1;
        return 0;
    }
    // Office-like text (compresses about tenfold) and incompressible bytes, where the cipher does most work.
    int MakeLarge() {
        for (int i = 0; i < kLarge; ++i) {
            const QString plain = dir.filePath(QStringLiteral("large%1.dat").arg(i));
            const QString noise = dir.filePath(QStringLiteral("random%1.dat").arg(i));
            if (bench::BenchData::WriteOfficeLike(plain, kLargeBytes, 10 + i) != 0 ||
                bench::BenchData::WriteRandom(noise, kLargeBytes, 20 + i) != 0 ||
                engine.EncryptFile(plain, large + QStringLiteral("/L%1.zorf").arg(i), small) != 0 ||
                engine.EncryptFile(noise, random + QStringLiteral("/R%1.zorf").arg(i), small) != 0)
                return -1;
            QFile::remove(plain);
            QFile::remove(noise);
            largePlain += kLargeBytes;
        }
        return 0;
    }
};

ScanFixture& Fixture() {
    return bench::SharedFixture<ScanFixture>("scan");
}

// One scan of `folder`; false unless every container was whole.
bool ScanOnce(ScanFixture& f, const QString& folder, int workers, int expected) {
    CFolderScan scan(f.engine, f.files, f.ui, f.catalogue, nullptr);
    scan.SetWorkers(workers);
    FolderScanResult result;
    return scan.Run(folder, f.small, result) == OpResult::kDone && result.findings.isEmpty() &&
           result.containers == expected;
}

void BM_ScanSmallFolder(benchmark::State& state) {
    ScanFixture& f = Fixture();
    for (auto _ : state)
        if (!ScanOnce(f, f.small, int(state.range(0)), kSmall))
            state.SkipWithError("scan failed");
    state.SetItemsProcessed(state.iterations() * kSmall);
}

// Arguments: workers, and 0 for office-like text or 1 for incompressible bytes.
void BM_ScanLargeFolder(benchmark::State& state) {
    ScanFixture& f = Fixture();
    const QString& folder = state.range(1) ? f.random : f.large;
    for (auto _ : state)
        if (!ScanOnce(f, folder, int(state.range(0)), kLarge))
            state.SkipWithError("scan failed");
    state.SetBytesProcessed(state.iterations() * f.largePlain);
}

// The engine's verification of one large container: the throughput of one file, on one thread.
void BM_VerifyOneLarge(benchmark::State& state) {
    ScanFixture& f = Fixture();
    const QString container =
        state.range(0) ? f.random + QStringLiteral("/R0.zorf") : f.large + QStringLiteral("/L0.zorf");
    for (auto _ : state)
        if (f.engine.VerifyContainer(container, f.small) != kOk)
            state.SkipWithError("verify failed");
    state.SetBytesProcessed(state.iterations() * kLargeBytes);
}

const int kProcessors = int(std::max(1U, std::thread::hardware_concurrency()));

} // namespace

BENCHMARK(BM_ScanSmallFolder)->Arg(1)->Arg(kProcessors)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ScanLargeFolder)
    ->Args({1, 0})
    ->Args({kProcessors, 0})
    ->Args({1, 1})
    ->Args({kProcessors, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_VerifyOneLarge)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
