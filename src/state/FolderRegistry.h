#pragma once

#include "crypto/CryptEngine.h"
#include "state/Verdict.h"
#include "util/OpResult.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>
#include <functional>

namespace korimbo {

// One 4096-byte record of "zorcl_folder.dat". The record is kept whole, so bytes the program does not
// interpret are written back as they were read.
class FolderEntry {
public:
    static constexpr int kSize = 4096;
    static constexpr int kPathOffset = 0;
    static constexpr int kPathUnits = 512;
    static constexpr int kHintOffset = 1024;
    static constexpr int kHintUnits = 48;
    static constexpr int kVerifierOffset = 1120;
    static constexpr int kVerifierBytes = 256;
    static constexpr int kReadOnlyOffset = 1376;
    static constexpr int kWorkIdOffset = 1377;
    static constexpr int kWorkIdUnits = 512;
    static constexpr int kAutoReleaseOffset = 2401;
    static constexpr int kDriveTypeOffset = 2412;
    static constexpr int kBlankOffset = 2422;

    FolderEntry();
    static FolderEntry FromRecord(const char* record);
    // A new entry as registration makes it: hint filled with spaces, blank area with 0x20.
    static FolderEntry Fresh();

    const QByteArray& Record() const { return m_record; }
    QString StoredPath() const { return Text(kPathOffset, kPathUnits, true); }
    void SetStoredPath(const QString& path) { SetText(kPathOffset, kPathUnits, path, u'\0'); }
    QString Hint() const { return Text(kHintOffset, kHintUnits, false); } // all 48 units, fill included
    void SetHint(const QString& hint) { SetText(kHintOffset, kHintUnits, hint, u' '); }
    QByteArray Verifier() const { return m_record.mid(kVerifierOffset, kVerifierBytes); }
    void SetVerifier(const QByteArray& verifier);
    int ReadOnly() const { return Byte(kReadOnlyOffset); }
    QString WorkId() const { return Text(kWorkIdOffset, kWorkIdUnits, true); }
    void SetWorkId(const QString& id) { SetText(kWorkIdOffset, kWorkIdUnits, id, u'\0'); }
    int AutoRelease() const { return Byte(kAutoReleaseOffset); }
    int DriveType() const { return Byte(kDriveTypeOffset); }
    void SetByte(int offset, int value) { m_record[offset] = static_cast<char>(value); }

private:
    int Byte(int offset) const { return static_cast<unsigned char>(m_record[offset]); }
    QString Text(int offset, int units, bool stopAtNul) const;
    void SetText(int offset, int units, const QString& text, char16_t filler);

    QByteArray m_record;
};

// Where placeholders in stored paths point to on this machine and at this run.
struct RegistryPlaces {
    QString documents;                                  // the user's documents folder
    QString desktop;                                    // the user's desktop folder
    QString programMountRoot;                           // mount point of the volume the program runs from
    std::function<QString(const QString&)> mountRootOf; // mount point of any path
};

// The registered encrypted folders ("zorcl_folder.dat"), enciphered as a whole with the built-in key.
class FolderRegistry {
public:
    static constexpr int kMaxEntries = 100;
    static inline const QString kFileName = QStringLiteral("zorcl_folder.dat");
    static inline const QString kDocumentsPlaceholder = QStringLiteral("[CSIDL_PERSONAL]");
    static inline const QString kDesktopPlaceholder = QStringLiteral("[CSIDL_DESKTOPDIRECTORY]");
    static inline const QString kProgramVolumePlaceholder = QStringLiteral("[PROGRAM_VOLUME]");

    FolderRegistry(CCryptEngine& engine, FileSystem& files, RegistryPlaces places)
        : m_engine(engine), m_files(files), m_places(std::move(places)) {}

    OpResult LoadFolderRegistry(const QString& envFolder);
    OpResult SaveFolderRegistry(const QString& envFolder);
    OpResult AddFolder(const QString& envFolder, const QString& path, const QString& hint, const QString& password,
                       const QString& readOnlyText, const QString& workId, const QString& autoReleaseText,
                       int driveType);
    OpResult RemoveFolder(const QString& envFolder, const QString& path);
    bool IsFolderRegistered(const QString& path) const;
    // kYes when the password opens the folder's verifier. Leaves its key in the scratch slot.
    Verdict VerifyFolderPassword(const QString& path, const QString& password);
    OpResult GetFolderHint(const QString& path, QString& hint);
    // kYes when the password opens any registered folder.
    Verdict IsPasswordUsedByAnyFolder(const QString& password);
    // The slot of a registered folder by its path exactly as registered, or -1 (also for an empty path).
    int SlotOf(const QString& path) const;
    // A registered folder and the slot that holds it.
    struct Registered {
        int slot = -1;
        QString path;
    };
    // Every registered folder in slot order; empty slots are passed by.
    QList<Registered> RegisteredFolders() const;

    bool Loaded() const { return m_loaded; }
    int Count() const { return m_count; }
    // The per-slot texts of the rest of the program (empty beyond the count).
    QString PathText(int slot) const { return m_pathTexts[slot]; }
    QString ReadOnlyText(int slot) const { return m_readOnlyTexts[slot]; }
    QString WorkIdText(int slot) const { return m_workIdTexts[slot]; }
    QString AutoReleaseText(int slot) const { return m_autoReleaseTexts[slot]; }
    int DriveTypeOf(int slot) const { return m_driveTypes[slot]; }
    const FolderEntry& Entry(int slot) const { return m_entries[slot]; }

    // The stored form of a path and back.
    QString StoredForm(const QString& path) const;
    QString ExpandedForm(const QString& stored) const;

private:
    OpResult Report(int number, const QString& tail);
    OpResult SaveAndReload(const QString& envFolder, const std::function<void()>& undo);
    Verdict OpensVerifier(const FolderEntry& entry, const QString& key);
    QByteArray ReferenceVerifier();

    CCryptEngine& m_engine;
    FileSystem& m_files;
    RegistryPlaces m_places;
    bool m_loaded = false;
    int m_count = 0;
    std::array<FolderEntry, kMaxEntries> m_entries;
    std::array<QString, kMaxEntries> m_pathTexts;
    std::array<QString, kMaxEntries> m_readOnlyTexts;
    std::array<QString, kMaxEntries> m_workIdTexts;
    std::array<QString, kMaxEntries> m_autoReleaseTexts;
    std::array<int, kMaxEntries> m_driveTypes{};
};

} // namespace korimbo
