// Files and bytes per second of the encrypt-in operation in copy mode: an office-like corpus of small files
// (1 to 100 KB each, 5000 unless KORIMBO_BENCH_FILES says otherwise) dropped on a registered, logged-in
// folder, and one office-like file of 64 MiB taken in the same way (the rate small files are measured
// against). Each iteration takes its files into a fresh subfolder, name-file refreshes included.
//
//   korimbo-bench-encrypt-in [--write-corpus DIR] [benchmark flags]
// --write-corpus writes the corpus into DIR and ends (bench/compare-encrypt-in.sh times gpg on it).
#include "BenchApp.h"
#include "BenchData.h"
#include "app/Kelpie5App.h"
#include "folder/EncryptIn.h"
#include "platform/AccessCheck.h"
#include "platform/UserFolders.h"
#include "platform/Volumes.h"
#include "state/WorkAreas.h"
#include "util/ConsoleInteraction.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

using namespace korimbo;

namespace {

constexpr int kMinBytes = 1024;
constexpr int kMaxBytes = 100 * 1024;
const QString kPassword = QStringLiteral("Bench#2025pw");

int CorpusCount() {
    const int count = qEnvironmentVariableIntValue("KORIMBO_BENCH_FILES");
    return count > 0 ? count : 5000;
}

struct Fixture {
    QTemporaryDir dir;
    ConsoleInteraction ui;
    LocalFileSystem files;
    LocalVolumes volumes;
    LocalUserFolders userFolders;
    bench::LoggedInApp logged;
    bench::NoEncryptInPrompts prompts;
    std::unique_ptr<CEncryptIn> encrypt;
    QString root;
    QStringList sources;
    qint64 corpusBytes = 0;
    QString bigFile;

    int Set() {
        if (!dir.isValid())
            return -1;
        const QString program = dir.filePath(QStringLiteral("program"));
        const QString corpus = dir.filePath(QStringLiteral("corpus"));
        root = dir.filePath(QStringLiteral("box"));
        if (!QDir().mkpath(program) || !QDir().mkpath(corpus) || !QDir().mkpath(root))
            return -1;
        if (logged.Start(program, root, kPassword, {ui, files, volumes, userFolders}) != 0)
            return -1;
        encrypt = std::make_unique<CEncryptIn>(logged.Services(files, ui), prompts);
        if (bench::BenchData::WriteOfficeCorpus(corpus, CorpusCount(), kMinBytes, kMaxBytes) != 0)
            return -1;
        for (const QFileInfo& file : QDir(corpus).entryInfoList(QDir::Files, QDir::Name)) {
            sources.append(file.filePath());
            corpusBytes += file.size();
        }
        bigFile = dir.filePath(QStringLiteral("big/office.dat"));
        return QDir().mkpath(QFileInfo(bigFile).absolutePath())
                   ? bench::BenchData::WriteOfficeLike(bigFile, bench::BenchData::kDefaultSize)
                   : -1;
    }
};

std::unique_ptr<Fixture> g_fixture;

void TakeIn(benchmark::State& state, const QStringList& sources) {
    static int run = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QString destination = g_fixture->root + QStringLiteral("/run%1").arg(++run);
        QDir().mkpath(destination);
        EncryptInRequest request;
        request.mode = EncryptInRequest::kCopy;
        request.sources = sources;
        request.destination = destination;
        state.ResumeTiming();
        if (g_fixture->encrypt->Run(request) != OpResult::kDone)
            state.SkipWithError("encrypt-in failed");
    }
    state.SetItemsProcessed(state.iterations() * sources.size());
}

void BM_EncryptInCopy(benchmark::State& state) {
    TakeIn(state, g_fixture->sources);
    state.SetBytesProcessed(state.iterations() * g_fixture->corpusBytes);
    state.SetLabel(QStringLiteral("%1 office-like files of 1-100 KB").arg(g_fixture->sources.size()).toStdString());
}

void BM_EncryptInOneBigFile(benchmark::State& state) {
    TakeIn(state, {g_fixture->bigFile});
    state.SetBytesProcessed(state.iterations() * QFileInfo(g_fixture->bigFile).size());
    state.SetLabel("one office-like file of 64 MiB");
}

BENCHMARK(BM_EncryptInCopy)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_EncryptInOneBigFile)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc == 3 && QString::fromLocal8Bit(argv[1]) == QStringLiteral("--write-corpus")) {
        return bench::BenchData::WriteOfficeCorpus(QString::fromLocal8Bit(argv[2]), CorpusCount(), kMinBytes,
                                                   kMaxBytes) == 0
                   ? 0
                   : 1;
    }
    g_fixture = std::make_unique<Fixture>();
    if (g_fixture->Set() != 0) {
        std::fprintf(stderr, "benchmark set-up failed\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_fixture.reset();
    return 0;
}
