// Files and bytes per second of the bulk operations on one folder of small containers (1 to 100 KB of
// office-like text each, 1,000 and 10,000 of them unless KORIMBO_BENCH_FILES lists other counts, such as
// "1000,10000"), so that the cost per file at each count shows whether they stay linear:
//   - TakeOut: the window's decrypted take-out of the folder (staged decrypted in the take-out area, copied
//     by the take-out window to a folder outside, the staged copies wiped), the dialogs answered at once;
//   - DecryptOnly: the engine's decryption of the same containers one by one, unsynced as the take-out's
//     staging is: the floor of a take-out;
//   - DeletePermanent and DeleteToTrash: the folder deleted for good, or moved to the trash (under a
//     private XDG_DATA_HOME), as the window's delete does.
// The containers are made once through encrypt-in; each delete gets a fresh copy of them, made untimed.
//
//   korimbo-bench-bulk [--write-corpus DIR COUNT] [benchmark flags]
// --write-corpus writes the plain files of COUNT into DIR and ends (bench/compare-bulk.sh times cp -r and
// rm -r on them).
#include "BenchApp.h"
#include "BenchData.h"
#include "app/Kelpie5App.h"
#include "folder/EncryptIn.h"
#include "folder/FolderOperations.h"
#include "platform/AccessCheck.h"
#include "platform/Associations.h"
#include "platform/Launcher.h"
#include "platform/Trash.h"
#include "platform/UserFolders.h"
#include "platform/Volumes.h"
#include "state/WorkAreas.h"
#include "workspace/TakeOut.h"
#include "workspace/WorkingCopies.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

using namespace korimbo;

namespace {

constexpr int kMinBytes = 1024;
constexpr int kMaxBytes = 100 * 1024;
const QString kPassword = QStringLiteral("Bench#2025pw");

QList<int> Counts() {
    QList<int> counts;
    for (const QString& text : qEnvironmentVariable("KORIMBO_BENCH_FILES").split(u',', Qt::SkipEmptyParts))
        if (const int count = text.trimmed().toInt(); count > 0)
            counts.append(count);
    return counts.isEmpty() ? QList<int>{1000, 10000} : counts;
}

// The user says yes to every question (the delete's); anything else is a fault of the set-up, counted.
class YesToAll final : public Interaction {
public:
    int Message(const QString& text, Icon icon, Buttons, int, int number) override {
        if (icon == Icon::Question)
            return kAnswerYes;
        ++faults;
        std::fprintf(stderr, "A%d %s\n", number, qPrintable(text));
        return kAnswerOk;
    }
    void Pump() override {}
    void Sleep(int) override {}
    bool StopRequested() const override { return false; }
    void SetStatusText(const QString&) override {}
    int faults = 0;
};

// The take-out window: its "copy to" into `target`, chosen before it opens.
class CopyToWindow final : public TakeOutPrompts {
public:
    QString target;
    bool AskEncryptedTakeOut(bool&) override { return false; }
    bool AskNewPassword(const QList<ChangePasswordText>&, bool&, NewPassword&, const PasswordCheck&) override {
        return false;
    }
    WindowResult ShowTakeOutWindow(const TakeOutWindowRequest& request, CTakeOut& takeOut) override {
        QStringList staged;
        for (const TakeOutItem& item : request.items)
            staged.append(item.staged);
        return takeOut.CopyOut(staged, target, false) == OpResult::kDone ? WindowResult::kCopied
                                                                          : WindowResult::kCancelled;
    }
};

int FilesBelow(const QString& folder) {
    int count = 0;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        ++count;
    }
    return count;
}

// A registered, logged-in folder "box" holding one folder of containers per count, and the window's
// take-out and delete over it.
struct Fixture {
    QTemporaryDir dir;
    YesToAll ui;
    LocalFileSystem files;
    LocalVolumes volumes;
    LocalUserFolders userFolders;
    GioAssociations associations{userFolders};
    GioLauncher launcher;
    LocalProcessProbe processes;
    bench::NoEncryptInPrompts encryptPrompts;
    CopyToWindow window;
    CUndoHistory history;
    bench::LoggedInApp logged;
    std::unique_ptr<FreedesktopTrash> trash;
    std::unique_ptr<CWorkingCopies> copies;
    std::unique_ptr<CTakeOut> takeOut;
    QString root;
    QHash<int, QString> folderOf; // count -> its folder of containers in the box
    QHash<int, qint64> bytesOf;   // count -> bytes of its plain files

    FolderServices Services() { return logged.Services(files, ui); }

    int Set() {
        if (!dir.isValid())
            return -1;
        // The trash of the deletes, away from the user's own.
        qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("data"))));
        const QString program = dir.filePath(QStringLiteral("program"));
        root = dir.filePath(QStringLiteral("box"));
        if (!QDir().mkpath(program) || !QDir().mkpath(root) || !QDir().mkpath(dir.filePath(QStringLiteral("data"))))
            return -1;
        if (logged.Start(program, root, kPassword, {ui, files, volumes, userFolders}) != 0)
            return -1;
        trash = std::make_unique<FreedesktopTrash>(FreedesktopTrash::HomeTrashOfEnvironment(), volumes);
        copies = std::make_unique<CWorkingCopies>(Services(), associations, launcher, processes, encryptPrompts);
        takeOut = std::make_unique<CTakeOut>(*copies, Services(), window);
        for (const int files : Counts())
            if (MakeContainers(files) != 0)
                return -1;
        return ui.faults == 0 ? 0 : -1;
    }

    // The plain files of `count` taken into the box as one folder of containers.
    int MakeContainers(int count) {
        const QString plain = dir.filePath(QStringLiteral("files%1").arg(count));
        if (!QDir().mkpath(plain) || bench::BenchData::WriteOfficeCorpus(plain, count, kMinBytes, kMaxBytes) != 0)
            return -1;
        QDirIterator it(plain, QDir::Files);
        while (it.hasNext())
            bytesOf[count] += it.nextFileInfo().size();
        CEncryptIn encrypt(Services(), encryptPrompts);
        EncryptInRequest request;
        request.mode = EncryptInRequest::kCopy;
        request.sources = {plain};
        request.destination = root;
        if (encrypt.Run(request) != OpResult::kDone)
            return -1;
        folderOf[count] = ChildPathOf(root, QFileInfo(plain).fileName());
        return FilesBelow(folderOf[count]) >= count ? 0 : -1;
    }

    static QString ChildPathOf(const QString& folder, const QString& name) { return folder + u'/' + name; }

    CFolderOperations Operations() {
        CFolderOperations operations(Services(), encryptPrompts, trash.get(), history);
        // As the window: a container with a working copy in the decrypted workspace is not deleted.
        operations.SetOpenCheck(
            [this](const QString& container) {
                const QString copy = copies->WorkingCopyPath(container);
                return !copy.isEmpty() && QFileInfo::exists(copy);
            },
            [this](const QString& folder) { return copies->MayHoldCopiesBelow(folder); });
        return operations;
    }
};

std::unique_ptr<Fixture> g_fixture;

void Rates(benchmark::State& state, int count) {
    state.SetItemsProcessed(state.iterations() * count);
    state.SetBytesProcessed(state.iterations() * g_fixture->bytesOf.value(count));
    state.counters["us_per_file"] = benchmark::Counter(double(count) * 1e-6,
                                                       benchmark::Counter::kIsIterationInvariantRate |
                                                           benchmark::Counter::kInvert);
    state.SetLabel(QStringLiteral("%1 files of 1-100 KB").arg(count).toStdString());
}

void TakeOut(benchmark::State& state, int count) {
    Fixture& f = *g_fixture;
    static int run = 0;
    for (auto _ : state) {
        state.PauseTiming();
        f.window.target = f.dir.filePath(QStringLiteral("out%1").arg(++run));
        QDir().mkpath(f.window.target);
        state.ResumeTiming();
        const OpResult rc = f.takeOut->Run(TakeOutKind::kDecrypted, {f.folderOf.value(count)});
        state.PauseTiming();
        if (rc != OpResult::kDone || FilesBelow(f.window.target) != count)
            state.SkipWithError("take-out failed");
        QDir(f.window.target).removeRecursively();
        state.ResumeTiming();
    }
    Rates(state, count);
}

void DecryptOnly(benchmark::State& state, int count) {
    Fixture& f = *g_fixture;
    const QString folder = f.folderOf.value(count);
    const QStringList containers = QDir(folder).entryList({QStringLiteral("*.zorf")}, QDir::Files);
    const QString out = f.dir.filePath(QStringLiteral("decrypted"));
    for (auto _ : state) {
        state.PauseTiming();
        QDir().mkpath(out);
        state.ResumeTiming();
        for (const QString& name : containers)
            if (f.logged.app->State().engine->DecryptFile(folder + u'/' + name, out + u'/' + name, f.root,
                                                  CCryptEngine::Durability::kTransient) != 0) {
                state.SkipWithError("decryption failed");
                break;
            }
        state.PauseTiming();
        QDir(out).removeRecursively();
        state.ResumeTiming();
    }
    Rates(state, count);
}

void Delete(benchmark::State& state, int count, bool permanent) {
    Fixture& f = *g_fixture;
    static int run = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QString doomed = f.root + QStringLiteral("/delete%1").arg(++run);
        std::error_code error;
        std::filesystem::copy(QFile::encodeName(f.folderOf.value(count)).toStdString(),
                              QFile::encodeName(doomed).toStdString(), std::filesystem::copy_options::recursive,
                              error);
        if (error)
            state.SkipWithError("copy of the containers failed");
        CFolderOperations operations = f.Operations();
        state.ResumeTiming();
        const OpResult rc = operations.Delete({doomed}, permanent);
        state.PauseTiming();
        if (rc != OpResult::kDone || QFileInfo::exists(doomed))
            state.SkipWithError("delete failed");
        QDir(f.trash->HomeTrash()).removeRecursively();
        state.ResumeTiming();
    }
    Rates(state, count);
}

void Register() {
    for (const int count : Counts()) {
        const int iterations = count > 2000 ? 1 : 3;
        const auto add = [&](const char* name, auto run) {
            const std::string title = QStringLiteral("BM_%1/%2").arg(QLatin1String(name)).arg(count).toStdString();
            benchmark::RegisterBenchmark(title.c_str(), run)
                ->Iterations(iterations)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
        };
        add("TakeOut", [count](benchmark::State& state) { TakeOut(state, count); });
        add("DecryptOnly", [count](benchmark::State& state) { DecryptOnly(state, count); });
        add("DeletePermanent", [count](benchmark::State& state) { Delete(state, count, true); });
        add("DeleteToTrash", [count](benchmark::State& state) { Delete(state, count, false); });
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc == 4 && QString::fromLocal8Bit(argv[1]) == QStringLiteral("--write-corpus")) {
        const QString folder = QString::fromLocal8Bit(argv[2]);
        return QDir().mkpath(folder) &&
                       bench::BenchData::WriteOfficeCorpus(folder, std::atoi(argv[3]), kMinBytes, kMaxBytes) == 0
                   ? 0
                   : 1;
    }
    g_fixture = std::make_unique<Fixture>();
    if (g_fixture->Set() != 0) {
        std::fprintf(stderr, "benchmark set-up failed\n");
        return 1;
    }
    Register();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_fixture.reset();
    return 0;
}
