// Secrets in memory and files of the work areas: wiping in the shared buffer, locked key memory, no core
// dumps, owner-only files below the private folders.
#include "util/FileSystem.h"
#include "util/LockedRegion.h"
#include "util/ProcessHardening.h"
#include "util/SecretText.h"

#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdint>

// AddressSanitizer turns mlock into a no-op that reports success: nothing to see of the lock there.
#if defined(__SANITIZE_ADDRESS__)
#define KORIMBO_MLOCK_IS_NOOP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KORIMBO_MLOCK_IS_NOOP 1
#endif
#endif

using namespace korimbo;

namespace {

// Locked memory of this process in KiB, from /proc/self/status.
qint64 LockedKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmLck:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

mode_t ModeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : 07777;
}

bool AllZero(const QString& text) {
    for (const QChar c : text)
        if (c.unicode() != 0)
            return false;
    return true;
}

} // namespace

class TestHardening : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A fill would detach and leave the other holder's buffer as it was; the wipe must reach it.
    void WipeReachesTheSharedBuffer() {
        QString original = QString::fromLatin1("Tiger#Lily42x");
        QString copy = original;
        WipeString(copy);
        QVERIFY(copy.isEmpty());
        QCOMPARE(original.size(), 13);
        QVERIFY(AllZero(original));

        QByteArray bytes("Tiger#Lily42x");
        QByteArray sharer = bytes;
        WipeBytes(bytes);
        QCOMPARE(sharer, QByteArray(13, '\0'));

        // A literal lies in read-only memory: let go, not written.
        QString literal = QStringLiteral("literal");
        WipeString(literal);
        QVERIFY(literal.isEmpty());
        QCOMPARE(QStringLiteral("literal"), QString::fromLatin1("literal"));
    }

    void DeepCopyAndScopedWipe() {
        QString source = QString::fromLatin1("Secret#123");
        const QString kept = DeepCopy(source);
        QString alias = source;
        {
            const ScopedWipe wipe(source);
        }
        QVERIFY(source.isEmpty());
        QVERIFY(AllZero(alias));
        QCOMPARE(kept, QStringLiteral("Secret#123"));
    }

    void RegionIsLockedAndZeroed() {
        const qint64 before = LockedKiB();
        {
            LockedRegion region(100);
            QVERIFY(region.Data() != nullptr);
            QCOMPARE(reinterpret_cast<std::uintptr_t>(region.Data()) % ::sysconf(_SC_PAGESIZE), std::uintptr_t(0));
            const auto* bytes = static_cast<const unsigned char*>(region.Data());
            for (std::size_t i = 0; i < region.Size(); ++i)
                QCOMPARE(bytes[i], static_cast<unsigned char>(0));
#ifdef KORIMBO_MLOCK_IS_NOOP
            QSKIP("mlock does nothing under AddressSanitizer");
#endif
            rlimit limit{};
            ::getrlimit(RLIMIT_MEMLOCK, &limit);
            if (limit.rlim_cur < region.Size() && ::geteuid() != 0)
                QSKIP("RLIMIT_MEMLOCK is below one page here");
            QVERIFY(region.Locked());
            QVERIFY(LockedKiB() >= before + static_cast<qint64>(region.Size() / 1024));
        }
        QCOMPARE(LockedKiB(), before);
    }

    // A limit too small for the pages leaves them usable, only unlocked.
    void RegionFallsBackWhenTheLimitIsTooSmall() {
        if (::geteuid() == 0)
            QSKIP("root locks memory past any limit");
#ifdef KORIMBO_MLOCK_IS_NOOP
        QSKIP("mlock does nothing under AddressSanitizer");
#endif
        rlimit old{};
        QCOMPARE(::getrlimit(RLIMIT_MEMLOCK, &old), 0);
        rlimit none = old;
        none.rlim_cur = 0;
        QCOMPARE(::setrlimit(RLIMIT_MEMLOCK, &none), 0);
        {
            LockedValue<std::array<int, 64>> value;
            QVERIFY(!value.Locked());
            (*value)[63] = 42;
            QCOMPARE((*value)[63], 42);
        }
        QCOMPARE(::setrlimit(RLIMIT_MEMLOCK, &old), 0);
    }

    // In a child, since the flag stays with the process.
    void NoCoreDumps() {
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            const int rc = ForbidCoreDumps();
            rlimit core{};
            ::getrlimit(RLIMIT_CORE, &core);
            const bool ok = rc == 0 && ::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0) == 0 && core.rlim_cur == 0 &&
                            core.rlim_max == 0;
            ::_exit(ok ? 0 : 1);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
    }

    // Below a private folder a file is 0600 whatever the umask, also one that was there before with
    // more; elsewhere the umask rules as before.
    void PrivateFoldersGetOwnerOnlyFiles() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString inside = dir.path() + QStringLiteral("/work");
        QVERIFY(QDir().mkpath(inside + QStringLiteral("/Nf")));
        const mode_t oldMask = ::umask(022);
        LocalFileSystem files;
        files.SetPrivateFolders({inside});
        int error = 0;
        QVERIFY(files.Open(inside + QStringLiteral("/Nf/new"), OpenMode::WriteTruncate, error));
        QVERIFY(files.Open(dir.path() + QStringLiteral("/outside"), OpenMode::WriteTruncate, error));
        // Files there before with group and other bits: one opened for writing, one replaced whole.
        const QString older = inside + QStringLiteral("/older");
        const QString state = inside + QStringLiteral("/state");
        for (const QString& path : {older, state}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.close();
            QVERIFY(::chmod(QFile::encodeName(path).constData(), 0644) == 0);
        }
        QVERIFY(files.Open(older, OpenMode::WriteTruncate, error));
        QCOMPARE(files.ReplaceContents(state, "data").error, 0);
        QCOMPARE(files.ReplaceContents(inside + QStringLiteral("/fresh"), "data").error, 0);
        // A folder whose name only begins like the private one is not inside it.
        QCOMPARE(files.ReplaceContents(inside + QStringLiteral("-not"), "data").error, 0);
        ::umask(oldMask);

        QCOMPARE(ModeOf(inside + QStringLiteral("/Nf/new")), mode_t(0600));
        QCOMPARE(ModeOf(older), mode_t(0600));
        QCOMPARE(ModeOf(state), mode_t(0600));
        QCOMPARE(ModeOf(inside + QStringLiteral("/fresh")), mode_t(0600));
        QCOMPARE(ModeOf(dir.path() + QStringLiteral("/outside")), mode_t(0644));
        QCOMPARE(ModeOf(inside + QStringLiteral("-not")), mode_t(0644));
    }
};

QTEST_GUILESS_MAIN(TestHardening)
#include "TestHardening.moc"
