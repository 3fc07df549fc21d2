#pragma once

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QSysInfo>

namespace korimbo::leftovers {

// What editors leave beside a file, written as they write it, and processes to own it.

// vim's block 0: "b0", the version, the PID (little-endian) at 24, the host at 68.
inline QByteArray VimSwap(qint64 pid, const QString& host = QSysInfo::machineHostName()) {
    QByteArray block(1024, '\0');
    block.replace(0, 9, "b0VIM 9.0");
    for (int i = 0; i < 4; ++i)
        block[24 + i] = char((pid >> (8 * i)) & 0xff);
    block.replace(68, host.toUtf8().left(39).size(), host.toUtf8().left(39));
    return block + "the unsaved text of the buffer";
}

// The office suite's lock line: name, system user, host, time, profile URL.
inline QByteArray OfficeLock(const QString& host = QSysInfo::machineHostName()) {
    return ",user," + host.toUtf8() + ",09.12.2026 11:00,file:///home/user/.config/office/4;";
}

inline bool Write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A running child, killed and reaped when it goes; given a file, it holds that file open.
class Sleeper {
public:
    explicit Sleeper(const QString& file = QString()) {
        m_process.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("exec 3<\"$0\"; exec sleep 30"),
                                               file.isEmpty() ? QStringLiteral("/dev/null") : file});
        m_process.waitForStarted();
    }
    ~Sleeper() {
        m_process.kill();
        m_process.waitForFinished();
    }
    qint64 Pid() const { return m_process.processId(); }

private:
    QProcess m_process;
};

// The PID of a child that has ended and been reaped.
inline qint64 EndedPid() {
    QProcess process;
    process.start(QStringLiteral("true"), QStringList());
    const qint64 pid = process.waitForStarted() ? process.processId() : 0;
    process.waitForFinished();
    return pid;
}

} // namespace korimbo::leftovers
