// The search by plain name over a folder of 100,000 names (100 directories of 1,000 containers, the
// plain names of Latin, Japanese and half-width kana): the index build once the name files are warm,
// the build from the headers where no directory has a name file, and single queries over the index.
#include "BenchRig.h"
#include "folder/NameFile.h"
#include "folder/NameSearch.h"
#include "state/FolderRegistry.h"
#include "state/MessageCatalogue.h"
#include "state/WorkFolderSettings.h"
#include "util/ConsoleInteraction.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUuid>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

using namespace korimbo;

namespace {

constexpr int kDirectories = 100;
constexpr int kPerDirectory = 1000;
constexpr int kNames = kDirectories * kPerDirectory;

QString PlainName(int i) {
    switch (i % 4) {
    case 0:
        return QStringLiteral("Quarterly-Report-%1.xlsx").arg(i, 5, 10, QChar(u'0'));
    case 1:
        return QStringLiteral("会議の議事録_第%1回.docx").arg(i);
    case 2:
        return QStringLiteral("製品ガイド（改訂%1版）.pdf").arg(i);
    default:
        return QStringLiteral("ﾃﾞｰﾀ一覧 %1.csv").arg(i);
    }
}

struct SearchFixture : bench::BenchFolderRig {
    std::unique_ptr<CNameSearch> search;

    int Set() {
        if (StartFolder() != 0)
            return -1;
        search = std::make_unique<CNameSearch>(*names, engine, ui, catalogue);
        return MakeContainers();
    }

    // One container per plain name of a directory, copied into the other directories under fresh names.
    int MakeContainers() {
        QList<QByteArray> sealed;
        const QString source = dir.filePath(QStringLiteral("plain"));
        const QString made = dir.filePath(QStringLiteral("made.zorf"));
        for (int i = 0; i < kPerDirectory; ++i) {
            QFile plain(dir.filePath(QStringLiteral("plain")));
            if (!plain.open(QIODevice::WriteOnly) || plain.write("figures\n") < 0)
                return -1;
            plain.close();
            const QString named = dir.filePath(PlainName(i));
            QFile::remove(named);
            if (!QFile::rename(source, named) || engine.EncryptFile(named, made, folder) != 0)
                return -1;
            QFile container(made);
            if (!container.open(QIODevice::ReadOnly))
                return -1;
            sealed.append(container.readAll());
            container.close();
            QFile::remove(made);
            QFile::remove(named);
        }
        for (int d = 0; d < kDirectories; ++d) {
            const QString directory = folder + QStringLiteral("/部署%1").arg(d, 3, 10, QChar(u'0'));
            if (!QDir().mkpath(directory))
                return -1;
            for (const QByteArray& bytes : sealed)
                if (bench::WriteUnderFreshName(directory, bytes).isEmpty())
                    return -1;
        }
        return 0;
    }

    // The name files the contents list leaves behind when each directory has been shown once.
    int WarmNameFiles() {
        if (names->RefreshNameFile(folder, folder) != 0)
            return -1;
        for (int d = 0; d < kDirectories; ++d)
            if (names->RefreshNameFile(folder + QStringLiteral("/部署%1").arg(d, 3, 10, QChar(u'0')), folder) != 0)
                return -1;
        return 0;
    }

    void DropNameFiles() { QDir(workFolder.angoTempFolder + QStringLiteral("/WID/Nf")).removeRecursively(); }
};

SearchFixture& Fixture() {
    return bench::SharedFixture<SearchFixture>("search");
}

void BM_SearchBuildFromHeaders(benchmark::State& state) {
    SearchFixture& f = Fixture();
    for (auto _ : state) {
        state.PauseTiming();
        f.DropNameFiles();
        state.ResumeTiming();
        if (f.search->Build(f.folder) != OpResult::kDone || f.search->NameCount() != kNames + kDirectories)
            state.SkipWithError("Build failed");
    }
    state.SetItemsProcessed(state.iterations() * kNames);
}

void BM_SearchBuildWarm(benchmark::State& state) {
    SearchFixture& f = Fixture();
    if (f.WarmNameFiles() != 0) {
        state.SkipWithError("name files failed");
        return;
    }
    const int readsBefore = f.names->HeaderReads();
    for (auto _ : state)
        if (f.search->Build(f.folder) != OpResult::kDone || f.search->NameCount() != kNames + kDirectories)
            state.SkipWithError("Build failed");
    state.counters["headerReads"] = f.names->HeaderReads() - readsBefore;
    state.SetItemsProcessed(state.iterations() * kNames);
}

// One query over the whole index, as a pause in typing runs it (the rows shown capped as the window does).
void BM_SearchQuery(benchmark::State& state, const QString& pattern) {
    SearchFixture& f = Fixture();
    if (f.search->NameCount() != kNames + kDirectories &&
        (f.WarmNameFiles() != 0 || f.search->Build(f.folder) != OpResult::kDone)) {
        state.SkipWithError("Build failed");
        return;
    }
    int total = 0;
    for (auto _ : state) {
        const CNameSearch::Found found = f.search->Find(pattern, 1000, f.folder);
        total = found.total;
        benchmark::DoNotOptimize(found.hits.size());
    }
    state.counters["matches"] = total;
    state.SetItemsProcessed(state.iterations() * (kNames + kDirectories));
}

BENCHMARK(BM_SearchBuildFromHeaders)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SearchBuildWarm)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_SearchQuery, latin_rare, QStringLiteral("report-00996"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SearchQuery, latin_common, QStringLiteral("e"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SearchQuery, fullwidth_halfwidth_kana, QStringLiteral("ｶﾞｲﾄﾞ"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SearchQuery, hiragana, QStringLiteral("でーた"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SearchQuery, miss, QStringLiteral("ｚｚｚ"))->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (Fixture().names == nullptr)
        return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
