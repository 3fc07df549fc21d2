// A stand-in for the editors people use, for the write-back tests. By its first argument it keeps its
// documents open ("keep"), saves through a temporary file and a rename ("rename"), leaves a lock file and
// a swap file beside each document and saves in place ("locks"), or forks and lets the launched process
// return at once ("fork", saving as "rename" does). A start while an instance runs hands the document to
// that instance and ends once the instance has opened it, as single-instance desktop editors do.
//
//   korimbo-editor-kit STYLE CONTROL FILE
//
// CONTROL is a folder of the test's. The instance keeps its PID in CONTROL/pid and reads commands, one a
// line, from the FIFO CONTROL/inbox: "open FILE", "save FILE DATA-FILE" (the document's new bytes are
// those of DATA-FILE), "close FILE", "quit". Each command done is appended to CONTROL/log.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string g_style;
std::string g_control;
std::map<std::string, int> g_documents; // path -> descriptor kept open ("keep"), or -1

std::string Folder(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string Name(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string LockOf(const std::string& path) {
    return Folder(path) + "/.~lock." + Name(path) + "#";
}

std::string SwapOf(const std::string& path) {
    return Folder(path) + "/." + Name(path) + ".swp";
}

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

bool ReadAll(const std::string& path, std::string& bytes) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buffer[65536];
    bytes.clear();
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, size_t(n));
    close(fd);
    return true;
}

void Log(const std::string& line) {
    const int fd = open((g_control + "/log").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd >= 0) {
        WriteAll(fd, line + "\n");
        close(fd);
    }
}

// The office suite's lock line (user, host, time, profile) and the first block of a vim swap file, which
// names the owning process: "b0", the version, then page size, time, inode and PID as 4-byte little-endian
// numbers, then user and host names.
void WriteCompanions(const std::string& path) {
    char host[64] = "localhost";
    gethostname(host, sizeof host - 1);
    int fd = open(LockOf(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd >= 0) {
        WriteAll(fd, std::string(",kit,") + host + ",09.12.2026 12:00,file:///tmp/kit;");
        close(fd);
    }
    std::string block(1024, '\0');
    block.replace(0, 2, "b0");
    block.replace(2, 7, "VIM 9.0");
    const auto put = [&block](size_t at, unsigned value) {
        for (int i = 0; i < 4; ++i)
            block[at + size_t(i)] = char((value >> (8 * i)) & 0xff);
    };
    put(12, 4096);
    put(24, unsigned(getpid()));
    block.replace(28, 3, "kit");
    block.replace(68, strnlen(host, 39), host);
    fd = open(SwapOf(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd >= 0) {
        WriteAll(fd, block);
        close(fd);
    }
}

void OpenDocument(const std::string& path) {
    int fd = -1;
    if (g_style == "keep") {
        fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    } else {
        std::string bytes;
        ReadAll(path, bytes); // read, shown, and closed again
        if (g_style == "locks")
            WriteCompanions(path);
    }
    g_documents[path] = fd;
    Log("opened " + path);
    // A launcher that handed the document over waits for this.
    const int ack = open((g_control + "/ack").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (ack >= 0) {
        WriteAll(ack, "opened\n");
        close(ack);
    }
}

bool SaveDocument(const std::string& path, const std::string& bytes) {
    const auto it = g_documents.find(path);
    if (it != g_documents.end() && it->second >= 0) {
        const int fd = it->second;
        return ftruncate(fd, 0) == 0 && lseek(fd, 0, SEEK_SET) == 0 && WriteAll(fd, bytes) && fsync(fd) == 0;
    }
    if (g_style == "locks") {
        const int fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        const bool ok = fd >= 0 && WriteAll(fd, bytes) && fsync(fd) == 0;
        if (fd >= 0)
            close(fd);
        return ok;
    }
    std::string temp = Folder(path) + "/.goutputstream-XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0)
        return false;
    const bool ok = WriteAll(fd, bytes) && fsync(fd) == 0;
    close(fd);
    return ok && rename(temp.c_str(), path.c_str()) == 0;
}

void CloseDocument(const std::string& path) {
    const auto it = g_documents.find(path);
    if (it == g_documents.end())
        return;
    if (it->second >= 0)
        close(it->second);
    unlink(LockOf(path).c_str());
    unlink(SwapOf(path).c_str());
    g_documents.erase(it);
    Log("closed " + path);
}

bool InstanceRuns() {
    std::string text;
    if (!ReadAll(g_control + "/pid", text))
        return false;
    const long pid = std::strtol(text.c_str(), nullptr, 10);
    return pid > 0 && pid != getpid() && kill(pid_t(pid), 0) == 0;
}

// Hands the document to the instance and ends once the instance has it, as a desktop launcher does.
int HandOver(const std::string& file) {
    const std::string ack = g_control + "/ack";
    if (mkfifo(ack.c_str(), 0600) != 0 && errno != EEXIST)
        return 1;
    const int reply = open(ack.c_str(), O_RDWR | O_CLOEXEC); // read and write: never an end, never blocks
    const int fd = open((g_control + "/inbox").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (reply < 0 || fd < 0 || !WriteAll(fd, "open " + file + "\n"))
        return 1;
    close(fd);
    pollfd wait{reply, POLLIN, 0};
    const bool taken = poll(&wait, 1, 5000) == 1;
    close(reply);
    return taken ? 0 : 1;
}

int RunInstance(const std::string& file) {
    const std::string inbox = g_control + "/inbox";
    if (mkfifo(inbox.c_str(), 0600) != 0 && errno != EEXIST)
        return 1;
    // Open for reading and writing: the FIFO never reports an end while the instance keeps it.
    FILE* commands = fdopen(open(inbox.c_str(), O_RDWR | O_CLOEXEC), "r");
    const int pidFile = open((g_control + "/pid").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (!commands || pidFile < 0 || !WriteAll(pidFile, std::to_string(getpid())))
        return 1;
    close(pidFile);
    OpenDocument(file);
    char line[8192];
    while (fgets(line, sizeof line, commands)) {
        std::string command(line);
        if (!command.empty() && command.back() == '\n')
            command.pop_back();
        if (command.rfind("open ", 0) == 0) {
            OpenDocument(command.substr(5));
        } else if (command.rfind("save ", 0) == 0) {
            const auto space = command.rfind(' ');
            const std::string path = command.substr(5, space - 5);
            std::string bytes;
            const bool ok = ReadAll(command.substr(space + 1), bytes) && SaveDocument(path, bytes);
            Log((ok ? "saved " : "failed ") + path);
        } else if (command.rfind("close ", 0) == 0) {
            CloseDocument(command.substr(6));
        } else if (command == "quit") {
            break;
        }
    }
    while (!g_documents.empty()) {
        const std::string path = g_documents.begin()->first; // a copy: closing erases the key
        CloseDocument(path);
    }
    unlink((g_control + "/pid").c_str());
    Log("quit");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s keep|rename|locks|fork CONTROL FILE\n", argv[0]);
        return 2;
    }
    g_style = argv[1];
    g_control = argv[2];
    const std::string file = argv[3];
    if (InstanceRuns())
        return HandOver(file);
    if (g_style == "fork") {
        const pid_t child = fork();
        if (child != 0)
            _exit(child > 0 ? 0 : 1);
        setsid();
    }
    return RunInstance(file);
}
