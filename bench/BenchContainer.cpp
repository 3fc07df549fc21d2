// Throughput of EncryptFile (verification included) and DecryptFile on 64 MiB of office-like and of
// incompressible data.
//
//   korimbo-bench [--write-data DIR [MIB]] [benchmark flags]
//   korimbo-bench --body-stream CONTAINER OUT
//   korimbo-bench --inflate IN OUT
//   korimbo-bench --inflate-fast IN OUT
// --write-data writes the two data files into DIR (of MIB MiB each, 64 unless given) and ends
// (bench/compare.sh uses the same files).
// --body-stream writes a container's zlib stream (the body deciphered with the bench password, without
// its pad); --inflate expands a zlib stream with plain zlib in 128000-byte steps, --inflate-fast with the
// inflate decryption uses (ISA-L where built in): the limit a decryption can reach.
#include "BenchData.h"
#include "crypto/CryptEngine.h"
#include "crypto/Inflater.h"
#include "state/MessageCatalogue.h"
#include "util/ConsoleInteraction.h"
#include "util/HeapTuning.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

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
        if (!dir.isValid() || catalogue.MsgAIN(engine) != OpResult::kDone ||
            catalogue.MsgBIN(engine) != OpResult::kDone || engine.RegisterBuiltInKey() != 0 ||
            engine.RegisterTempKey(QStringLiteral("Bench#2025pw"), {}, key) != 0)
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

constexpr int kPiece = CCryptEngine::kPieceSize;

int BodyStream(const QString& containerPath, const QString& outPath) {
    ConsoleInteraction ui;
    CMessageCatalogue catalogue{ui};
    LocalFileSystem files;
    CCryptEngine engine{ui, catalogue, files};
    QString key;
    ContainerInfo info;
    if (catalogue.MsgAIN(engine) != OpResult::kDone || catalogue.MsgBIN(engine) != OpResult::kDone ||
        engine.RegisterBuiltInKey() != 0 || engine.RegisterTempKey(QStringLiteral("Bench#2025pw"), {}, key) != 0 ||
        engine.ReadContainerInfo(containerPath, info, key, true) != 0)
        return 1;
    QFile in(containerPath);
    QFile out(outPath);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        !in.seek(ContainerHeader::kSize + info.nameBlockLength))
        return 1;
    std::vector<std::uint8_t> piece(kPiece);
    std::uint8_t chain[16];
    bool first = true;
    for (;;) {
        const qint64 n = in.read(reinterpret_cast<char*>(piece.data()), kPiece);
        if (n <= 0)
            break;
        std::uint8_t next[16];
        std::memcpy(next, piece.data() + n - 16, 16); // the chain carries over from the last cipher block
        if (engine.DecipherBuffer(piece.data(), n, key, first ? nullptr : chain) != 0)
            return 1;
        std::memcpy(chain, next, 16);
        first = false;
        const qint64 keep = in.atEnd() ? n - info.padCount : n;
        out.write(reinterpret_cast<const char*>(piece.data()), keep);
    }
    return 0;
}

// Expands a zlib stream in 128000-byte steps with the chosen inflate, as a decryption does without the
// cipher and the writer thread.
int InflateFile(const QString& inPath, const QString& outPath, CInflater::Kind kind) {
    QFile in(inPath);
    QFile out(outPath);
    CInflater inflater(kind);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::Truncate) || !inflater.Ready())
        return 1;
    std::vector<std::uint8_t> input(kPiece);
    std::vector<std::uint8_t> output(kPiece);
    CInflater::Step step = CInflater::Step::More;
    while (step == CInflater::Step::More) {
        if (inflater.InputLeft() == 0) {
            const qint64 n = in.read(reinterpret_cast<char*>(input.data()), kPiece);
            if (n <= 0)
                break;
            inflater.Input(input.data(), static_cast<std::size_t>(n));
        }
        inflater.Output(output.data(), kPiece);
        step = inflater.Run();
        out.write(reinterpret_cast<const char*>(output.data()), kPiece - static_cast<qint64>(inflater.OutputLeft()));
    }
    return step == CInflater::Step::End ? 0 : 1;
}

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
    MergeFreedBlocksAtOnce(); // as the program does: the listings' pumps depend on it
    QCoreApplication app(argc, argv);
    if ((argc == 3 || argc == 4) && QString::fromLocal8Bit(argv[1]) == QStringLiteral("--write-data")) {
        const QDir out(QString::fromLocal8Bit(argv[2]));
        const qint64 size = argc == 4 ? QByteArray(argv[3]).toLongLong() * 1024 * 1024 : bench::BenchData::kDefaultSize;
        return size > 0 && bench::BenchData::WriteOfficeLike(out.filePath(QStringLiteral("office.dat")), size) == 0 &&
                       bench::BenchData::WriteRandom(out.filePath(QStringLiteral("random.dat")), size) == 0
                   ? 0
                   : 1;
    }
    if (argc == 4 && QString::fromLocal8Bit(argv[1]) == QStringLiteral("--body-stream"))
        return BodyStream(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    if (argc == 4 && QString::fromLocal8Bit(argv[1]) == QStringLiteral("--inflate"))
        return InflateFile(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]), CInflater::Kind::Zlib);
    if (argc == 4 && QString::fromLocal8Bit(argv[1]) == QStringLiteral("--inflate-fast"))
        return InflateFile(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]), CInflater::Kind::Fastest);
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
