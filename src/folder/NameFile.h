#pragma once

#include "crypto/CryptEngine.h"
#include "state/FolderRegistry.h"
#include "state/WorkFolderSettings.h"
#include "util/FileSystem.h"
#include "util/Interaction.h"
#include "util/MessageSource.h"
#include "util/PumpPacer.h"

#include <QFileInfo>
#include <QHash>
#include <QList>
#include <QString>

#include <atomic>

namespace korimbo {

// One line of a name file: one entry of a directory on disk, as
// ":*0*:" disk name ":*1*:" disk time ":*2*:" display name ":*3*:" kind ":*4*:" size ":*5*:" encrypted ":*6*:"
// modified. The names are escaped ('%', ':', CR, LF and NUL as "%XX"), so that no name can end a field or a line; a
// name file of this form has the line NameEntry::kFormatLine right after its header, an older one none.
class ProcessProbe;

struct NameEntry {
    enum Kind { kPlain = 0, kContainer = 1, kFolder = 2 };

    QString diskName;      // the entry's name on disk
    QString diskTime;      // last-write time of the disk entry, local time, "yyyyMMddhhmmss"
    QString displayName;   // the plain file name of a container; the disk name otherwise
    int kind = kPlain;     // kContainer only for a container that verifies with the folder's key
    qint64 plainSize = 0;  // containers only
    QString encryptedAt;   // as the container reader gives it; "0" for the other kinds
    QString modifiedAt;    // as the container reader gives it; "0" for the other kinds

    static const QString kFormatLine;

    // The line without its CR LF, its names escaped.
    QString Line() const;
    // False for a line that is not an entry (no ":*6*:" field, a kind that is not a number, a disk name
    // that is no name of a directory entry, ...). `escaped`: false for a line of an older name file.
    static bool Parse(const QString& line, NameEntry& entry, bool escaped = true);
    // A name as a line holds it.
    static QString Escaped(const QString& name);
};

// The entries of one directory, found by disk name in constant time.
using NameIndex = QHash<QString, NameEntry>;
NameIndex IndexByDiskName(const QList<NameEntry>& entries);
// The same, the entries moved in, pumping the window along the way.
NameIndex IndexByDiskName(QList<NameEntry>&& entries, PumpPacer& pacer);

// One entry of a directory on disk as the name file and the contents list compare it.
struct DiskEntry {
    QString name;  // the name on disk
    QString time;  // last-write time, "yyyyMMddhhmmss", local time
    bool isFolder = false;
    bool hidden = false;  // a dot entry or a broken link: not listed
    bool special = false; // a pipe, socket or device: listed as a plain file, never opened
};
// The entries of a directory ("." and ".." never; hidden ones only without `skipHidden`), in the order
// the directory gives them. One stat per entry. A name that is not UTF-8 keeps its bytes (PathFromNative).
// With a pacer, the window is pumped along the way (100,000 entries take a good part of a second).
QList<DiskEntry> ReadDirectory(const QString& directory, bool skipHidden, PumpPacer* pacer = nullptr);

// The status text of a long pass over a directory's entries: "名前を読み込んでいます: done / total".
QString ReadingProgressText(MessageSource& messages, qsizetype done, qsizetype total);

// The name file "_snf.zorn" of a directory of an encrypted folder: a cache of the container headers,
// enciphered with the folder's key (the key slot named by the registered root path), kept in the mirror
// tree below the folder's "Nf" work area so that nothing of ours lies inside the user's folder.
class CNameFile {
public:
    static inline const QString kFileName = QStringLiteral("_snf.zorn");

    CNameFile(CCryptEngine& engine, const FolderRegistry& registry, const WorkFolderSettings& workFolder,
              FileSystem& files, Interaction& ui, MessageSource& messages);

    // The registered root that owns `path` (the path itself or a folder above it); empty when none.
    QString OwningRoot(const QString& path) const;
    // Work root / work id / "Nf" / directory relative to the root / "_snf.zorn". A directory under no
    // registered root shows A303 and gets a path that begins with B4: such a directory has no name file
    // and every name-file step skips it.
    QString NameFilePath(const QString& directory);
    bool IsWithoutNameFile(const QString& nameFilePath) const;

    // Brings the directory's name file in line with the directory: entries whose disk name and time are
    // unchanged keep their line, the others are read from their container headers. 0, or -1 (shown).
    int RefreshNameFile(const QString& directory, const QString& key);
    // The entries of the name file (kFolder entries only with `includeFolders`). 0, or -1 (shown).
    int LoadNameEntries(const QString& directory, const QString& key, bool includeFolders, QList<NameEntry>& entries);
    // Whether the directory has subdirectories: from its name file when there is one, else from the disk.
    bool HasSubfolders(const QString& directory, const QString& key);

    // The raw I/O: the whole text, deciphered and trimmed; the whole text, enciphered, written to a
    // temporary file beside the name file and renamed over it. 0, or -1 (shown). Both pump the window
    // between pieces of a large file; a write is enciphered before it touches the file, and then written
    // and made durable on a thread of its own, so that no flag is held across a pump.
    int ReadNameFile(const QString& path, const QString& key, QString& text);
    int WriteNameFile(const QString& path, const QString& text, const QString& key);

    // The entry of one disk entry as a refresh makes it: a folder, or a file read from its container
    // header (a container of the key, or a plain file). 0, or -1 when the file cannot be read at all.
    int EntryFromDisk(const QString& directory, const DiskEntry& disk, const QString& key, NameEntry& entry);

    // The directory's entries as the last refresh of `directory` saw them (each of them has its line in the
    // name file), handed over once; a fresh enumeration when there was no such refresh.
    QList<DiskEntry> TakeEntriesSeen(const QString& directory);
    // Entries of `directory` (hidden ones included) that the caller has just enumerated: the next refresh
    // of that directory takes them instead of enumerating again.
    void OfferEntries(const QString& directory, QList<DiskEntry> entries);

    // A container the caller has just written and read back (`info` from its header, with `key`): the next
    // refresh of its directory makes its line from this instead of reading the header again, as long as
    // its disk time is still `diskTime`. Each offer is used once.
    void OfferContainer(const QString& path, const ContainerInfo& info, const QString& key, const QString& diskTime);

    // The disk time of a file or folder as a name file keeps it ("yyyyMMddhhmmss", local time).
    static QString DiskTimeText(const QFileInfo& info);
    // The same for a path of ours (PathFromNative); empty when it cannot be read.
    static QString DiskTimeOf(const QString& path);
    // With a probe, a refresh also removes the hidden temporary files an interrupted write of ours left in
    // the directory (CCryptEngine::IsTempName), unless a process still has one open: the probe's write
    // lease sees every open descriptor, also those of processes whose /proc we cannot read. Without one
    // (korimbo-cli, most tests) such files are left alone.
    void SetOpenCheck(ProcessProbe* processes) { m_processes = processes; }
    // How many leftover temporary files the refreshes removed so far.
    int LeftoversRemoved() const { return m_leftoversRemoved; }

    // How many container headers the refreshes have read so far (the name file exists to keep this low).
    int HeaderReads() const { return m_headerReads; }
    // How many refreshes ran so far (each enumerates the directory and reads its name file).
    int Refreshes() const { return m_refreshes; }

private:
    enum ReadResult { kReadOk, kReadIoFailed, kReadUndecipherable };
    // ReadNameFile without the report of an undecipherable file, which a refresh makes again instead.
    int ReadText(const QString& path, const QString& key, QString& text);
    // The bytes of a name file's text and back, a piece at a time, each piece chained to the one before,
    // so the bytes are those of one pass over the whole. 0, or -1 (the engine's failure, shown).
    int EncipheredText(const QString& text, const QString& key, QByteArray& bytes, PumpPacer& pacer);
    int DecipheredText(QByteArray& bytes, const QString& key, QString& text, PumpPacer& pacer);
    // The file replaced by the file layer; a large one on a thread of its own while the window is pumped.
    SysResult ReplaceFile(const QString& path, const QByteArray& bytes, PumpPacer& pacer);
    void Remember(const QString& path, const QString& text);
    struct OfferedContainer;
    bool TakeOffer(const QString& path, const QString& key, const QString& diskTime, OfferedContainer& known);
    const QString& HeaderText();
    // Identity of a file's present contents (inode, size, modification time), empty when it has none.
    static QByteArray StampOf(const QString& path);
    // Removes the leftover temporary files of our own in `directory` that nothing holds open.
    void RemoveLeftovers(const QString& directory);
    const QString& NoNameFileMarker();
    // The entry lines of a name file's text (header cut off); lines of an older form are escaped anew.
    // `upgraded`: the text was of an older form.
    QStringList EntryLines(const QString& text, bool& upgraded, PumpPacer& pacer);

    CCryptEngine& m_engine;
    const FolderRegistry& m_registry;
    const WorkFolderSettings& m_workFolder;
    FileSystem& m_files;
    Interaction& m_ui;
    MessageSource& m_messages;
    int m_headerReads = 0;
    struct OfferedContainer {
        QString key;
        QString diskTime;
        QString name;
        qint64 plainSize = 0;
        QString encryptedAt;
        QString modifiedAt;
    };
    QHash<QString, OfferedContainer> m_offeredContainers; // by path
    int m_refreshes = 0;
    ProcessProbe* m_processes = nullptr;
    int m_leftoversRemoved = 0;
    bool m_refreshing = false;
    bool m_reading = false;
    std::atomic<bool> m_writing{false}; // a name file is being replaced (the write's thread clears it)
    // What the last refresh left: the directory's entries, and the name file's text with its stamp, so
    // that the listing that follows neither enumerates nor deciphers a second time.
    QString m_offeredDirectory;
    QList<DiskEntry> m_offeredEntries;
    QString m_seenDirectory;
    QList<DiskEntry> m_seenEntries;
    QString m_refreshedPath;
    QString m_refreshedText;
    QByteArray m_refreshedStamp;
    QString m_header;     // B2, fetched once
    QString m_noNameFile; // B4, fetched once
};

} // namespace korimbo
