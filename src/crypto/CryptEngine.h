#pragma once

#include "crypto/AesCipher.h"
#include "crypto/ContainerHeader.h"
#include "crypto/ContainerInfo.h"
#include "crypto/EngineResult.h"
#include "util/FileNames.h"
#include "util/FileSystem.h"
#include "util/Interaction.h"
#include "util/LockedRegion.h"
#include "util/MessageSource.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace korimbo {

class CBodyVerifier;

// One named key: an AES-256 key, the chaining value every run with it starts from, and the hint
// written into the containers made with it.
struct KeySlot {
    QString name; // empty: free
    std::array<std::uint8_t, 32> key{};
    std::array<std::uint8_t, 16> iv{};
    std::array<char16_t, 49> hint{};
};

// Status of CheckContainer / CheckSignature.
enum ContainerStatus { kUsable = 0, kNotContainer = 1, kNewerVersion = 2, kWrongPassword = 3 };

enum class KeyDirection { Encrypt, Decrypt };


// The crypto engine: the table of named key slots, the enciphered buffers of the state files and the
// container format (writer, reader, verification, maintenance). Every failure is reported through
// the Interaction before the call returns; callers only stop.
class CCryptEngine {
public:
    static constexpr int kSlotCount = 105;
    static constexpr int kPieceSize = 128000;
    static constexpr int kBusyTries = 100;
    static inline const QString kBuiltInKeyName = QStringLiteral("<koyu>");
    static inline const QString kTempKeyName = QStringLiteral("<temp>");

    CCryptEngine(Interaction& ui, MessageSource& messages, FileSystem& files);
    ~CCryptEngine();
    CCryptEngine(const CCryptEngine&) = delete;
    CCryptEngine& operator=(const CCryptEngine&) = delete;

    Interaction& Ui() { return m_ui; }
    MessageSource& Messages() { return m_messages; }
    FileSystem& Files() { return m_files; }

    // The temporary working folder (setting "AngoTempFolder"), used by the free-space messages.
    void SetWorkFolder(const QString& folder) { m_workFolder = folder; }
    const QString& WorkFolder() const { return m_workFolder; }

    // ---- key slots ----
    void ResetKeys();
    // At most the first 32 bytes go into `bytes` (34 bytes, zero-filled); returns the full byte count.
    int PasswordToBytes(const QString& password, std::array<std::uint8_t, 34>& bytes) const;
    int RegisterKey(const std::uint8_t* password, int count, const QString& name, const QString& hint);
    int RegisterBuiltInKey();
    int RegisterTempKey(const QString& password, const QString& hint, QString& name);
    int RegisterTempKeyBytes(const std::uint8_t* password, int count, QString& name);
    // Installs key material made elsewhere (the list key of the common data) under a name.
    int RegisterRawKey(const QString& name, const std::uint8_t key[32], const std::uint8_t iv[16]);
    int FindKey(const QString& name) const;
    void ReleaseKey(const QString& name);
    int SelectKey(KeyDirection direction, const QString& name, std::uint8_t iv[16], QString* hint = nullptr);
    const QString& BuiltInKeyName() const { return m_builtInName; }
    const KeySlot& Slot(int index) const { return m_slots[index]; }
    // Whether the key slots lie in locked memory (false when RLIMIT_MEMLOCK was too small for them).
    bool KeySlotsLocked() const { return m_slotTable.Locked(); }

    static int CheckPasswordChars(const QString& password);
    // 8 to 32 characters, every one allowed.
    static bool KeepsPasswordRules(const QString& password) {
        return password.size() >= 8 && password.size() <= 32 && CheckPasswordChars(password) == 0;
    }
    static int PasswordStrength(const QString& password, int& score);

    // ---- busy flag ----
    // Waits up to 100 × 20 ms for the flag; on the 100th failed try shows `message` (warning) and fails.
    int TakeBusy(int message);
    void ReleaseBusy() { m_busy = false; }
    bool IsBusy() const { return m_busy; }

    // ---- enciphered buffers ----
    int EncipherBuffer(std::uint8_t* buffer, qint64 length, const QString& key);
    int EncipherBufferHeld(std::uint8_t* buffer, qint64 length, const QString& key);
    int DecipherBuffer(std::uint8_t* buffer, qint64 length, const QString& key, const std::uint8_t* chain = nullptr);
    int DecipherBufferHeld(std::uint8_t* buffer, qint64 length, const QString& key,
                           const std::uint8_t* chain = nullptr);
    int EncipherWithBuiltInKey(std::uint8_t* buffer, qint64 length);
    int DecipherWithBuiltInKey(std::uint8_t* buffer, qint64 length);

    // ---- containers: writing ----
    int MakeContainerName(const QString& folder, QString& name);
    EngineResult EncryptFile(const QString& source, const QString& container, const QString& key);

    // ---- containers: reading ----
    int ReadContainerInfo(const QString& path, ContainerInfo& info, const QString& key, bool show);
    int VerifyPassword(const std::uint8_t encrypted[32], const QString& key, bool show, int& ok);
    int CheckSignature(const ContainerHeader& header, int& status, QString& text);
    int CheckContainer(const QString& path, ContainerInfo& info, const QString& key, bool show, int& status,
                       QString& text);
    EngineResult DecryptFile(const QString& container, const QString& destination, const QString& key);
    int VerifyNewContainer(const QString& source, const QString& container, const QString& key);
    // A full dry-run decode of a container with the size and tail checks of a decryption.
    int VerifyContainer(const QString& container, const QString& key);

    // ---- containers: maintenance ----
    EngineResult RenameStoredName(const QString& source, const QString& target, const QString& name, const QString& key,
                                  bool show);
    EngineResult UpdateHint(const QString& path, const QString& hint);
    int CompareFileTails(const QString& first, const QString& second, bool compareSizes);
    int WipeFile(const QString& path, QString& errorText);
    // Overwrites a file with zeros and deletes it. A link, or a file with other names, is only
    // unlinked: zeroing it would destroy what the other names show. With `renameFirst` the file first
    // gets a wipe name, and gets its own name back when it cannot be wiped; a file another program holds
    // open is left as it is. With `expected`, a file that is no longer that one (saved over meanwhile) is
    // left in place and kWipeKeptChanged returned. 0, kWipeKeptChanged, or -1 with `errorText`.
    static constexpr int kWipeKeptChanged = -2;
    int WipeAndDelete(const QString& path, QString& errorText, bool renameFirst,
                      const FileIdentity* expected = nullptr);

    // The hidden file an operation writes beside its target before renaming it into place. A crash
    // can leave one behind; IsTempName recognises a bare file name made here, and its kind.
    static QString TempPathBeside(const QString& target, TempKind kind);
    static bool IsTempName(const QString& fileName, TempKind* kind = nullptr);
    // The names in `directory` that IsTempName recognises: a scan of the names alone, without a stat.
    static QStringList TempNamesIn(const QString& directory);
    // The name WipeAndDelete gives a file before wiping it; a wipe cut short leaves one behind.
    static bool IsWipeName(const QString& fileName);

    // Longest destination path DecryptFile accepts.
    static int MaxPathLength();

    // The last piece the body decoder produced (shared with VerifyNewContainer).
    struct LastPiece {
        qint64 offset = 0;
        int length = 0;
        std::vector<std::uint8_t> bytes;
    };

private:
    struct DecodeResult;
    int TruncateAndRemove(const QString& path, QString& errorText);
    int RemoveWithRetries(const QString& path, QString& errorText);
    int Report(int number, const QString& tail, Icon icon = Icon::Error);
    // Report for the operations that give an engine result: the failure is shown, the result is kFailed.
    EngineResult Refuse(int number, const QString& tail, Icon icon = Icon::Error);
    QString ErrorDetail(int error) const;
    int CheckFreeSpace(const QString& target, qint64 needed);
    int ReadTail(File& file, qint64 size, std::uint8_t tail[16], int seekMessage, int shortMessage);
    int KeyCipher(CAesCipher& cipher, KeyDirection direction, const QString& name, std::uint8_t iv[16],
                  QString* hint = nullptr);
    EngineResult Decode(File& in, File* out, const QString& key, DecodeResult& result);
    // Header, check text and name block of an open container; leaves `in` at the body.
    EngineResult DecodeHeader(File& in, const QString& key, DecodeResult& result, int& padCount, qint64& remaining);
    EngineResult DecodeBody(File& in, File* out, qint64 remaining, int padCount, std::uint8_t chain[16],
                            DecodeResult& result);
    EngineResult DeletePartial(const QString& path, const QString& shownPath, EngineResult result);
    EngineResult EncryptInto(File& in, File& out, const QString& source, const QString& temp, const QString& key,
                             qint64& expectedSize, int& error, std::unique_ptr<CBodyVerifier>& verifier);
    EngineResult FinishContainer(const QString& source, const QString& temp, const QString& container,
                                 const QString& key, qint64 expectedSize, EngineResult result, int& error,
                                 CBodyVerifier* verifier);
    // The check of a container written with a verifier behind the writer: the verifier's outcome for
    // the body, then the header and name block read back.
    int VerifyWrittenContainer(const QString& container, const QString& key, CBodyVerifier& verifier);
    EngineResult CopyWithNewName(File& in, File& out, const QString& name, const QString& key, int& error);
    EngineResult RewriteHint(File& file, const QString& hint, int& error);
    int ReadFileTail(const QString& path, qint64& size, std::uint8_t tail[16], int openMsg, int seekMsg, int sizeMsg);

    Interaction& m_ui;
    MessageSource& m_messages;
    FileSystem& m_files;
    // The slots live in pages of their own, locked and left out of core dumps.
    LockedValue<std::array<KeySlot, kSlotCount>> m_slotTable;
    std::array<KeySlot, kSlotCount>& m_slots = *m_slotTable;
    CAesCipher m_encryptor;
    CAesCipher m_decryptor;
    QString m_builtInName;
    QString m_workFolder;
    bool m_busy = false;
    LastPiece m_lastPiece;
};

} // namespace korimbo
