// Listing a directory of 10,000 and of 100,000 containers through the contents model: cold (no name file,
// every header read), warm (the name file agrees with the directory) and one incremental update after one
// file changed, beside a bare readdir of the same directory. Entries per second are the rows listed (or,
// for the update, the directory's entries). Each listing also reports the longest time the window would
// go without a pump (longest_ms; longest_cpu_ms counts only this thread's processor time, which a busy
// machine does not stretch), the pumps, and what the rows hold: the heap bytes in use after the
// listing beyond those before it (model_MiB, bytes/row) and the growth of the resident set (rss_MiB).
#include "BenchRig.h"
#include "folder/ContentsModel.h"
#include "folder/NameFile.h"
#include "state/FolderRegistry.h"
#include "state/MessageCatalogue.h"
#include "state/SettingsFile.h"
#include "state/WorkFolderSettings.h"
#include "util/FileNames.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUuid>

#include <benchmark/benchmark.h>

#include <dirent.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

using namespace korimbo;

namespace {

constexpr double kMiB = 1024.0 * 1024.0;

double HeapInUse() {
    return double(mallinfo2().uordblks);
}

double ResidentBytes() {
    long pages = 0;
    long resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return double(resident) * double(::sysconf(_SC_PAGESIZE));
}

template <int kEntries>
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
    bool List() {
        return model->ListFolder(folder, folder) == OpResult::kDone && model->rowCount() == kEntries;
    }
    // What the rows of a warm listing hold, the model emptied first.
    void CountMemory(benchmark::State& state) {
        model->Clear();
        const double heap = HeapInUse();
        const double resident = ResidentBytes();
        if (!List())
            state.SkipWithError("ListFolder failed");
        state.counters["model_MiB"] = (HeapInUse() - heap) / kMiB;
        state.counters["bytes/row"] = (HeapInUse() - heap) / kEntries;
        state.counters["rss_MiB"] = (ResidentBytes() - resident) / kMiB;
    }
    void CountPumps(benchmark::State& state, double longestMs, double longestCpuMs, int pumps) {
        state.counters["longest_ms"] = longestMs;
        state.counters["longest_cpu_ms"] = longestCpuMs;
        state.counters["pumps"] = pumps;
        state.counters["status"] = ui.StatusTexts();
    }
};

template <int kEntries>
FolderFixture<kEntries>& Fixture() {
    return bench::SharedFixture<FolderFixture<kEntries>>("folder");
}

template <int kEntries>
void BM_ListFolderCold(benchmark::State& state) {
    FolderFixture<kEntries>& f = Fixture<kEntries>();
    const int readsBefore = f.names->HeaderReads();
    double longestMs = 0;
    double longestCpuMs = 0;
    int pumps = 0;
    for (auto _ : state) {
        state.PauseTiming();
        f.DropNameFile();
        f.model->Clear();
        f.ui.Start();
        state.ResumeTiming();
        if (!f.List())
            state.SkipWithError("ListFolder failed");
        f.ui.Finish();
        longestMs = std::max(longestMs, f.ui.LongestMs());
        longestCpuMs = std::max(longestCpuMs, f.ui.LongestCpuMs());
        pumps = f.ui.Pumps();
    }
    state.counters["headers/s"] =
        benchmark::Counter(double(f.names->HeaderReads() - readsBefore), benchmark::Counter::kIsRate);
    state.SetItemsProcessed(state.iterations() * kEntries);
    f.CountPumps(state, longestMs, longestCpuMs, pumps);
}

template <int kEntries>
void BM_ListFolderWarm(benchmark::State& state) {
    FolderFixture<kEntries>& f = Fixture<kEntries>();
    if (!f.List()) {
        state.SkipWithError("ListFolder failed");
        return;
    }
    const int readsBefore = f.names->HeaderReads();
    double longestMs = 0;
    double longestCpuMs = 0;
    int pumps = 0;
    for (auto _ : state) {
        f.ui.Start();
        if (!f.List())
            state.SkipWithError("ListFolder failed");
        f.ui.Finish();
        longestMs = std::max(longestMs, f.ui.LongestMs());
        longestCpuMs = std::max(longestCpuMs, f.ui.LongestCpuMs());
        pumps = f.ui.Pumps();
    }
    state.counters["headerReads"] = f.names->HeaderReads() - readsBefore;
    state.SetItemsProcessed(state.iterations() * kEntries);
    f.CountPumps(state, longestMs, longestCpuMs, pumps);
    f.CountMemory(state);
}

template <int kEntries>
void BM_UpdateListOneChanged(benchmark::State& state) {
    FolderFixture<kEntries>& f = Fixture<kEntries>();
    if (!f.List()) {
        state.SkipWithError("ListFolder failed");
        return;
    }
    int step = 0;
    double longestMs = 0;
    double longestCpuMs = 0;
    int pumps = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QFile file(f.touched);
        file.open(QIODevice::ReadWrite);
        file.setFileTime(QDateTime::currentDateTime().addSecs(++step * 2), QFileDevice::FileModificationTime);
        file.close();
        f.ui.Start();
        state.ResumeTiming();
        if (f.model->UpdateList() != OpResult::kDone)
            state.SkipWithError("UpdateList failed");
        f.ui.Finish();
        longestMs = std::max(longestMs, f.ui.LongestMs());
        longestCpuMs = std::max(longestCpuMs, f.ui.LongestCpuMs());
        pumps = f.ui.Pumps();
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
    f.CountPumps(state, longestMs, longestCpuMs, pumps);
}

// The limit: the names of the same directory read and counted, nothing else (`ls -f | wc -l`).
template <int kEntries>
void BM_ReadDirBare(benchmark::State& state) {
    FolderFixture<kEntries>& f = Fixture<kEntries>();
    const QByteArray path = NativePath(f.folder);
    for (auto _ : state) {
        int count = 0;
        if (DIR* dir = ::opendir(path.constData())) {
            while (::readdir(dir))
                ++count;
            ::closedir(dir);
        }
        if (count < kEntries)
            state.SkipWithError("readdir failed");
        benchmark::DoNotOptimize(count);
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}

BENCHMARK_TEMPLATE(BM_ReadDirBare, 10000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_TEMPLATE(BM_ListFolderCold, 10000)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_TEMPLATE(BM_ListFolderWarm, 10000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_TEMPLATE(BM_UpdateListOneChanged, 10000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_TEMPLATE(BM_ReadDirBare, 100000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_TEMPLATE(BM_ListFolderCold, 100000)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_TEMPLATE(BM_ListFolderWarm, 100000)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_TEMPLATE(BM_UpdateListOneChanged, 100000)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
