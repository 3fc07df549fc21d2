// Throughput of EncryptFile (verification included) and DecryptFile on 64 MiB of office-like and of
// incompressible data.
//
//   korimbo-bench [--write-data DIR] [benchmark flags]
// --write-data writes the two data files into DIR and ends (bench/compare.sh uses the same files).
#include "BenchData.h"
#include "crypto/CryptEngine.h"
#include "state/MessageCatalogue.h"
#include "util/ConsoleInteraction.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

using namespace korimbo;

namespace {

struct Fixture {
    ConsoleInteraction ui;
    CMessageCatalogue catalogue{ui};
    LocalFileSystem files;
    CCryptEngine engine{ui, catalogue, files};
    QTemporaryDir dir;
    QString office;
    QString random;
    QString key;

    int Set() {
        if (!dir.isValid() || catalogue.MsgAIN(engine) != 0 || catalogue.MsgBIN(engine) != 0 ||
            engine.RegisterBuiltInKey() != 0 || engine.RegisterTempKey(QStringLiteral("Bench#2025pw"), {}, key) != 0)
            return -1;
        engine.SetWorkFolder(dir.path());
        office = dir.filePath(QStringLiteral("office.dat"));
        random = dir.filePath(QStringLiteral("random.dat"));
        if (bench::BenchData::WriteOfficeLike(office, bench::BenchData::kDefaultSize) != 0 ||
            bench::BenchData::WriteRandom(random, bench::BenchData::kDefaultSize) != 0)
            return -1;
        return 0;
    }
};

std::unique_ptr<Fixture> g_fixture;

const QString& Source(int which) {
    return which == 0 ? g_fixture->office : g_fixture->random;
}

void BM_EncryptFile(benchmark::State& state) {
    const QString& source = Source(static_cast<int>(state.range(0)));
    const QString container = g_fixture->dir.filePath(QStringLiteral("bench.zorf"));
    for (auto _ : state) {
        if (g_fixture->engine.EncryptFile(source, container, g_fixture->key) != 0)
            state.SkipWithError("EncryptFile failed");
    }
    state.SetBytesProcessed(state.iterations() * bench::BenchData::kDefaultSize);
    state.SetLabel(state.range(0) == 0 ? "office-like" : "incompressible");
}

void BM_DecryptFile(benchmark::State& state) {
    const QString& source = Source(static_cast<int>(state.range(0)));
    const QString container = g_fixture->dir.filePath(QStringLiteral("bench-d.zorf"));
    const QString plain = g_fixture->dir.filePath(QStringLiteral("bench.out"));
    if (g_fixture->engine.EncryptFile(source, container, g_fixture->key) != 0) {
        state.SkipWithError("EncryptFile failed");
        return;
    }
    for (auto _ : state) {
        if (g_fixture->engine.DecryptFile(container, plain, g_fixture->key) != 0)
            state.SkipWithError("DecryptFile failed");
    }
    state.SetBytesProcessed(state.iterations() * bench::BenchData::kDefaultSize);
    state.SetLabel(state.range(0) == 0 ? "office-like" : "incompressible");
}

BENCHMARK(BM_EncryptFile)->Arg(0)->Arg(1)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecryptFile)->Arg(0)->Arg(1)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc == 3 && QString::fromLocal8Bit(argv[1]) == QStringLiteral("--write-data")) {
        const QDir out(QString::fromLocal8Bit(argv[2]));
        return bench::BenchData::WriteOfficeLike(out.filePath(QStringLiteral("office.dat")),
                                                 bench::BenchData::kDefaultSize) == 0 &&
                       bench::BenchData::WriteRandom(out.filePath(QStringLiteral("random.dat")),
                                                     bench::BenchData::kDefaultSize) == 0
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
