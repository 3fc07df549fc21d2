// The backup of a folder of 500 containers of 64 KiB (incompressible, about 32 MiB): a first backup into
// an empty destination (every container copied and verified there), and a second one into the same place
// with nothing changed (every container compared and skipped). Bytes per second are the folder's bytes.
#include "BenchData.h"
#include "BenchRig.h"
#include "folder/FolderBackup.h"
#include "state/MessageCatalogue.h"
#include "util/ConsoleInteraction.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUuid>

#include <benchmark/benchmark.h>

#include <array>
#include <memory>

using namespace korimbo;

namespace {

constexpr int kContainers = 500;
constexpr qint64 kPlainBytes = 64 * 1024;

// The messages of a benchmark run go nowhere: the closing summary would wait for a key.
class QuietInteraction final : public Interaction {
public:
    int Message(const QString&, Icon, Buttons, int defaultButton, int) override {
        return defaultButton != 0 ? defaultButton : kAnswerOk;
    }
    void Pump() override {}
    void Sleep(int) override {}
    bool StopRequested() const override { return false; }
    void SetStatusText(const QString&) override {}
};

struct BackupFixture : bench::BenchEngine {
    QuietInteraction quiet;
    QString folder;
    qint64 folderBytes = 0;

    int Set() {
        folder = dir.filePath(QStringLiteral("box"));
        if (!QDir().mkpath(folder) || Start(folder) != 0)
            return -1;
        // One container, copied under fresh names: a copy opens with the same key.
        const QString source = dir.filePath(QStringLiteral("data.bin"));
        const QString first = dir.filePath(QStringLiteral("first.zorf"));
        if (bench::BenchData::WriteRandom(source, kPlainBytes) != 0 || engine.EncryptFile(source, first, folder) != 0)
            return -1;
        const QByteArray sealed = bench::ReadAll(first);
        for (int i = 0; i < kContainers; ++i) {
            if (bench::WriteUnderFreshName(folder, sealed).isEmpty())
                return -1;
            folderBytes += sealed.size();
        }
        return 0;
    }
};

BackupFixture& Fixture() {
    return bench::SharedFixture<BackupFixture>("backup");
}

void BM_BackupFirst(benchmark::State& state) {
    BackupFixture& f = Fixture();
    int run = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QString destination = f.dir.filePath(QStringLiteral("first%1").arg(++run));
        QDir().mkpath(destination);
        state.ResumeTiming();
        CFolderBackup backup(f.engine, f.files, f.quiet, f.catalogue);
        if (backup.Run(f.folder, destination) != OpResult::kDone || backup.Counts().copied != kContainers)
            state.SkipWithError("backup failed");
        state.PauseTiming();
        QDir(destination).removeRecursively();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * f.folderBytes);
}

void BM_BackupNothingChanged(benchmark::State& state) {
    BackupFixture& f = Fixture();
    const QString destination = f.dir.filePath(QStringLiteral("again"));
    QDir().mkpath(destination);
    CFolderBackup first(f.engine, f.files, f.quiet, f.catalogue);
    if (first.Run(f.folder, destination) != OpResult::kDone) {
        state.SkipWithError("first backup failed");
        return;
    }
    for (auto _ : state) {
        CFolderBackup backup(f.engine, f.files, f.quiet, f.catalogue);
        if (backup.Run(f.folder, destination) != OpResult::kDone || backup.Counts().unchanged != kContainers)
            state.SkipWithError("backup failed");
    }
    state.SetBytesProcessed(state.iterations() * f.folderBytes);
}

BENCHMARK(BM_BackupFirst)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BackupNothingChanged)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
