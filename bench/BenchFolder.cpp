// Listing a directory of 10,000 containers through the contents model: cold (no name file, every header
// read), warm (the name file agrees with the directory) and one incremental update after one file
// changed. Entries per second are the rows listed (or, for the update, the directory's entries).
#include "BenchRig.h"
#include "folder/ContentsModel.h"
#include "folder/NameFile.h"
#include "state/FolderRegistry.h"
#include "state/MessageCatalogue.h"
#include "state/SettingsFile.h"
#include "state/WorkFolderSettings.h"
#include "util/ConsoleInteraction.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUuid>

#include <benchmark/benchmark.h>

#include <memory>

using namespace korimbo;

namespace {

constexpr int kEntries = 10000;

struct FolderFixture : bench::BenchFolderRig {
    SettingsRecord settings;
    std::unique_ptr<CContentsModel> model;
    QString touched;

    int Set() {
        if (StartFolder() != 0)
            return -1;
        model = std::make_unique<CContentsModel>(*names, engine, settings, ui, catalogue);

        // One small container, copied under fresh names: a copy opens with the same key.
        const QString source = dir.filePath(QStringLiteral("report.txt"));
        const QString first = dir.filePath(QStringLiteral("first.zorf"));
        QFile plain(source);
        if (!plain.open(QIODevice::WriteOnly) || plain.write("quarterly figures\n") < 0)
            return -1;
        plain.close();
        if (engine.EncryptFile(source, first, folder) != 0)
            return -1;
        const QByteArray sealed = bench::ReadAll(first);
        for (int i = 0; i < kEntries; ++i) {
            const QString copy = bench::WriteUnderFreshName(folder, sealed);
            if (copy.isEmpty())
                return -1;
            if (i == 0)
                touched = copy;
        }
        return 0;
    }
    void DropNameFile() {
        const QString path = names->NameFilePath(folder);
        static_cast<void>(files.MakeWritable(path));
        static_cast<void>(files.Remove(path));
    }
};

FolderFixture& Fixture() {
    return bench::SharedFixture<FolderFixture>("folder");
}

void BM_ListFolderCold(benchmark::State& state) {
    FolderFixture& f = Fixture();
    const int readsBefore = f.names->HeaderReads();
    for (auto _ : state) {
        state.PauseTiming();
        f.DropNameFile();
        state.ResumeTiming();
        if (f.model->ListFolder(f.folder, f.folder) != OpResult::kDone || f.model->rowCount() != kEntries)
            state.SkipWithError("ListFolder failed");
    }
    state.counters["headers/s"] =
        benchmark::Counter(double(f.names->HeaderReads() - readsBefore), benchmark::Counter::kIsRate);
    state.SetItemsProcessed(state.iterations() * kEntries);
}

void BM_ListFolderWarm(benchmark::State& state) {
    FolderFixture& f = Fixture();
    if (f.model->ListFolder(f.folder, f.folder) != OpResult::kDone) {
        state.SkipWithError("ListFolder failed");
        return;
    }
    const int readsBefore = f.names->HeaderReads();
    for (auto _ : state) {
        if (f.model->ListFolder(f.folder, f.folder) != OpResult::kDone || f.model->rowCount() != kEntries)
            state.SkipWithError("ListFolder failed");
    }
    state.counters["headerReads"] = f.names->HeaderReads() - readsBefore;
    state.SetItemsProcessed(state.iterations() * kEntries);
}

void BM_UpdateListOneChanged(benchmark::State& state) {
    FolderFixture& f = Fixture();
    if (f.model->ListFolder(f.folder, f.folder) != OpResult::kDone) {
        state.SkipWithError("ListFolder failed");
        return;
    }
    int step = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QFile file(f.touched);
        file.open(QIODevice::ReadWrite);
        file.setFileTime(QDateTime::currentDateTime().addSecs(++step * 2), QFileDevice::FileModificationTime);
        file.close();
        state.ResumeTiming();
        if (f.model->UpdateList() != OpResult::kDone)
            state.SkipWithError("UpdateList failed");
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}

BENCHMARK(BM_ListFolderCold)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ListFolderWarm)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_UpdateListOneChanged)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
