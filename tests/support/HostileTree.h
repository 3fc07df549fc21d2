#pragma once

#include "TreeSnapshot.h"
#include "util/FileNames.h"
#include "util/PathIdentity.h"

#include <QByteArray>
#include <QMap>
#include <QStringList>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korimbo {

// What a real folder may hold that no operation may follow, open or destroy, built on the real file
// system as the user running the test: links to a folder outside, to an ancestor, to "/" and to nothing,
// a file with three names (one of them outside), a pipe, a Shift-JIS name, names with CR LF and the name
// file's markers, a folder nobody may read, and the files a FAT volume collects. The links point into a
// sentinel folder beside the tree, which must come out of every operation as it went in.
class HostileTree {
public:
    QString parent;   // holds the tree (and, unless given elsewhere, the sentinel)
    QString sentinel; // what the links and the outside name point into
    QString root;     // the tree
    // Every regular file below `root` an operation can read, by its path below `root`, with its bytes.
    QMap<QString, QByteArray> files;
    // What no operation takes along as a file: the links, the pipe and, for a user who cannot read it,
    // the closed folder; by path below `root`, with what each is.
    QMap<QString, ItemKind> special;
    QString pipe;

    // Builds `parent`/hostile beside `sentinelIn`/sentinel. False when a part could not be made.
    bool Build(const QString& parentFolder, const QString& sentinelIn) {
        parent = parentFolder;
        sentinel = sentinelIn + QStringLiteral("/sentinel");
        root = parent + QStringLiteral("/hostile");
        pipe = root + QStringLiteral("/pipe");
        bool ok = Write(sentinel + QStringLiteral("/keep.txt"), "keep") &&
                  Write(sentinel + QStringLiteral("/sub/inner.txt"), "inner") &&
                  Write(sentinel + QStringLiteral("/other-name.txt"), "three names") && AddFile("plain.txt", "plain") &&
                  AddFile("deep/nested.bin", QByteArray("\0\1\2\xff", 4).repeated(3)) &&
                  AddFile("\x83\x65\x83\x58\x83\x67.txt", "shift-jis") && AddFile("cr\r\nlf.txt", "line end") &&
                  AddFile(":*1*:.txt", "marker") && AddFile("desktop.ini", "[.ShellClassInfo]") &&
                  AddFile("Thumbs.db", "thumbs") && AddFile("closed/c.txt", "closed");
        ok = ok && Link(sentinel + QStringLiteral("/other-name.txt"), "hard.txt") &&
             Link(root + QStringLiteral("/hard.txt"), "twin.txt");
        for (const auto& [name, target] : {std::pair{"to-sentinel", NativePath(sentinel)},
                                           {"up", QByteArray("..")},
                                           {"all", QByteArray("/")},
                                           {"dangling", QByteArray("nowhere")}})
            ok = ok && ::symlink(target.constData(), Native(name).constData()) == 0 && Special(name);
        ok = ok && ::mkfifo(Native("pipe").constData(), 0600) == 0 && Special("pipe");
        // Read by every folder's owner only when the owner is not all-powerful.
        ok = ok && ::chmod(Native("closed").constData(), 0) == 0;
        if (ok && ::geteuid() != 0) {
            files.remove(QStringLiteral("closed/c.txt"));
            special.insert(QStringLiteral("closed"), ItemKind::Folder);
        }
        return ok;
    }
    // A file's bytes, read without blocking (a pipe gives none).
    static QByteArray Bytes(const QString& path) { return RawBytes(path); }
    // Lets the temporary folders be removed.
    void Open() const { ::chmod(Native("closed").constData(), 0700); }

    // The hard link's other names: the tree's two and the one outside, all three holding the same bytes.
    static constexpr const char* kThreeNames = "three names";

    // Every entry below the sentinel and below the parent, the tree left out: its path, kind, mode, size,
    // time and a hash of a file's bytes or a link's target. A pipe is never opened.
    QStringList Outside() const {
        return TreeSnapshot(sentinel, true) + TreeSnapshot(parent, true, QStringLiteral("hostile"));
    }
    // The same lines for the tree itself (the closed folder is listed, not read).
    QStringList Inside() const { return TreeSnapshot(root, true); }

private:
    QByteArray Native(const char* relative) const { return NativePath(root) + '/' + relative; }
    bool Special(const char* relative) {
        special.insert(PathFromNative(relative), KindOf(PathFromNative(Native(relative))));
        return true;
    }
    bool AddFile(const char* relative, const QByteArray& bytes) {
        files.insert(PathFromNative(relative), bytes);
        return Write(PathFromNative(Native(relative)), bytes);
    }
    bool Link(const QString& existing, const char* relative) {
        files.insert(PathFromNative(relative), kThreeNames);
        return ::link(NativePath(existing).constData(), Native(relative).constData()) == 0;
    }
    static bool Write(const QString& path, const QByteArray& bytes) {
        const QByteArray native = NativePath(path);
        const QByteArray folder = native.left(native.lastIndexOf('/'));
        for (qsizetype slash = folder.indexOf('/', 1); slash != -1; slash = folder.indexOf('/', slash + 1))
            ::mkdir(folder.left(slash).constData(), 0700);
        ::mkdir(folder.constData(), 0700);
        const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        const bool written = fd >= 0 && ::write(fd, bytes.constData(), std::size_t(bytes.size())) == bytes.size();
        return fd >= 0 && ::close(fd) == 0 && written;
    }
};

} // namespace korimbo
