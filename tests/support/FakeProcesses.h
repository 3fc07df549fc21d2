#pragma once

#include "platform/Launcher.h"

#include <QFileInfo>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <iterator>

namespace korimbo {

// A launcher that starts nothing: it records each launch and answers with a scripted result.
class FakeLauncher final : public Launcher {
public:
    struct Call {
        QString file;
        QString program;
    };

    // What the next launches answer; `result` -1 makes them fail.
    int result = 0;
    qint64 pid = 4242;
    QString appId = QStringLiteral("org.example.editor.desktop");
    QString executable = QStringLiteral("/usr/bin/example-editor");
    // When set, each launch takes the next pid from here (then falls back to `pid`).
    QList<qint64> nextPids;
    QList<Call> calls;

    int Launch(const QString& file, const QString& program, qint64& outPid, QString& outAppId,
               QString& outExecutable) override {
        calls.append(Call{file, program});
        if (result != 0)
            return result;
        outPid = nextPids.isEmpty() ? pid : nextPids.takeFirst();
        outAppId = appId;
        outExecutable = executable;
        return 0;
    }
};

// A process table made up by the test: running pids, and the answers per file or name.
class FakeProcessProbe final : public ProcessProbe {
public:
    QSet<qint64> running;
    QHash<QString, qint64> dbusOwners;  // app id -> pid
    QHash<QString, qint64> holders;     // file path -> pid
    QHash<QString, qint64> windows;     // file name -> pid
    QHash<QString, qint64> executables; // executable file name (or full path) -> pid
    QSet<QString> openElsewhere;        // file paths
    // How often each question was asked, for tests that check the watch does not poll needlessly.
    int isRunningCalls = 0;
    int isOpenElsewhereCalls = 0;

    bool IsRunning(qint64 pid) override {
        ++isRunningCalls;
        return running.contains(pid);
    }
    qint64 DBusOwnerOf(const QString& appId) override { return dbusOwners.value(appId, 0); }
    qint64 HolderOf(const QString& file) override { return holders.value(file, 0); }
    qint64 WindowOwnerOf(const QString& fileName) override { return windows.value(fileName, 0); }
    qint64 RunningWithExecutable(const QString& executable) override {
        if (executables.contains(executable))
            return executables.value(executable);
        return executables.value(QFileInfo(executable).fileName(), 0);
    }
    bool IsOpenElsewhere(const QString& file) override {
        ++isOpenElsewhereCalls;
        return openElsewhere.contains(file);
    }

    // Ends a process everywhere it appears, as when the user closes the program.
    void End(qint64 pid) {
        running.remove(pid);
        for (auto* table : {&dbusOwners, &holders, &windows, &executables})
            for (auto it = table->begin(); it != table->end();)
                it = it.value() == pid ? table->erase(it) : std::next(it);
    }
};

} // namespace korimbo
