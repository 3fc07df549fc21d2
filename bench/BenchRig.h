#pragma once

#include "crypto/CryptEngine.h"
#include "folder/NameFile.h"
#include "state/FolderRegistry.h"
#include "state/MessageCatalogue.h"
#include "state/WorkFolderSettings.h"
#include "util/ConsoleInteraction.h"
#include "util/FileSystem.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUuid>

#include <QElapsedTimer>

#include <time.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>

namespace korimbo::bench {

// The console's answers, and a clock on the pumps: the window repaints only at a pump, so the longest
// gap between two of them (the first and the last counted from Start and Finish) is how long it froze.
// The same gap in this thread's processor time leaves out what other processes of a busy machine took.
class PumpClock final : public Interaction {
public:
    int Message(const QString& text, Icon icon, Buttons buttons = Buttons::Ok, int defaultButton = 0,
                int number = 0) override {
        return m_console.Message(text, icon, buttons, defaultButton, number);
    }
    void Pump() override { Lap(); }
    void Sleep(int ms) override { m_console.Sleep(ms); }
    bool StopRequested() const override { return false; }
    void SetStatusText(const QString&) override { ++m_statusTexts; }

    void Start() {
        m_longestNs = 0;
        m_longestCpuNs = 0;
        m_cpuAtLast = ThreadCpuNs();
        m_pumps = 0;
        m_statusTexts = 0;
        m_sinceLast.start();
    }
    void Finish() { Lap(); --m_pumps; }
    double LongestMs() const { return double(m_longestNs) / 1e6; }
    double LongestCpuMs() const { return double(m_longestCpuNs) / 1e6; }
    int Pumps() const { return m_pumps; }
    int StatusTexts() const { return m_statusTexts; }

private:
    static qint64 ThreadCpuNs() {
        timespec now{};
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
    }
    void Lap() {
        m_longestNs = std::max(m_longestNs, m_sinceLast.nsecsElapsed());
        m_sinceLast.start();
        const qint64 cpu = ThreadCpuNs();
        m_longestCpuNs = std::max(m_longestCpuNs, cpu - m_cpuAtLast);
        m_cpuAtLast = cpu;
        ++m_pumps;
    }

    ConsoleInteraction m_console;
    QElapsedTimer m_sinceLast;
    qint64 m_longestNs = 0;
    qint64 m_longestCpuNs = 0;
    qint64 m_cpuAtLast = 0;
    int m_pumps = 0;
    int m_statusTexts = 0;
};

inline const QString kBenchPassword = QStringLiteral("Bench#2025pw");

// What every benchmark over containers starts from: the catalogues, the engine with its built-in key, a
// scratch folder, and the benchmark's password entered under a key name (a folder's path).
struct BenchEngine {
    PumpClock ui;
    CMessageCatalogue catalogue{ui};
    LocalFileSystem files;
    CCryptEngine engine{ui, catalogue, files};
    QTemporaryDir dir;

    int Start(const QString& keyName) {
        if (!dir.isValid() || catalogue.MsgAIN(engine) != OpResult::kDone ||
            catalogue.MsgBIN(engine) != OpResult::kDone || engine.RegisterBuiltInKey() != 0)
            return -1;
        std::array<std::uint8_t, 34> bytes{};
        const int count = engine.PasswordToBytes(kBenchPassword, bytes);
        return engine.RegisterKey(bytes.data(), count, keyName, QStringLiteral("hint"));
    }
};

// A registered folder "box" in the scratch folder, logged in, with the work folder of its name files.
struct BenchFolderRig : BenchEngine {
    FolderRegistry registry{engine, files, RegistryPlaces{}};
    WorkFolderSettings workFolder{engine, files, dir.filePath(QStringLiteral("work"))};
    std::unique_ptr<CNameFile> names;
    QString folder;

    int StartFolder() {
        folder = dir.filePath(QStringLiteral("box"));
        const QString env = dir.filePath(QStringLiteral("env"));
        if (!QDir().mkpath(folder) || !QDir().mkpath(env) || Start(folder) != 0 ||
            registry.LoadFolderRegistry(env) != OpResult::kDone ||
            registry.AddFolder(env, folder, {}, kBenchPassword, QStringLiteral("0"), QStringLiteral("WID"),
                               QStringLiteral("0"), 3) != OpResult::kDone)
            return -1;
        workFolder.angoTempFolder = dir.filePath(QStringLiteral("work"));
        names = std::make_unique<CNameFile>(engine, registry, workFolder, files, ui, catalogue);
        return 0;
    }
};

// The bytes of a container made once, read back to be copied many times.
inline QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// `bytes` written into `folder` under a fresh container name (a copy opens with the same key); its path, or
// empty on failure.
inline QString WriteUnderFreshName(const QString& folder, const QByteArray& bytes) {
    QFile copy(folder + u'/' + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + QStringLiteral(".zorf"));
    return copy.open(QIODevice::WriteOnly) && copy.write(bytes) == bytes.size() ? copy.fileName() : QString();
}

// One fixture per benchmark program, set up when first asked for; `what` names it when that fails.
template <class Fixture>
Fixture& SharedFixture(const char* what) {
    static std::unique_ptr<Fixture> fixture;
    if (!fixture) {
        fixture = std::make_unique<Fixture>();
        if (fixture->Set() != 0)
            std::fprintf(stderr, "%s benchmark set-up failed\n", what);
    }
    return *fixture;
}

} // namespace korimbo::bench
