#pragma once

#include "crypto/AesCipher.h"
#include "crypto/ContainerBatch.h"
#include "crypto/ContainerHeader.h"
#include "crypto/DeflateAhead.h"
#include "crypto/ContainerInfo.h"
#include "crypto/ContainerProbe.h"
#include "crypto/EngineResult.h"
#include "crypto/KeyTable.h"
#include "util/FileNames.h"
#include "util/FileSystem.h"
#include "util/Interaction.h"
#include "util/MessageSource.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace korimbo {

class CBodyVerifier;

// Status of CheckContainer / CheckSignature.
enum ContainerStatus { kUsable = 0, kNotContainer = 1, kNewerVersion = 2, kWrongPassword = 3 };

// A container's status and, unless usable, the text that says why it cannot be opened.
struct ContainerCheck {
    ContainerStatus status = kUsable;
    QString text;
    [[nodiscard]] bool Usable() const { return status == kUsable; }
};

enum class KeyDirection { Encrypt, Decrypt };

// The crypto engine: the key table (CKeyTable), the busy flag, the enciphered buffers of the state
// files and the container format, written through CBodyWriter and read through CBodyReader, with its
// verification and maintenance. Every failure is reported through the Interaction before the call
// returns; callers only stop.
class CCryptEngine {
public:
    static constexpr int kSlotCount = CKeyTable::kSlotCount;
    static constexpr int kPieceSize = 128000;
    static constexpr int kBusyTries = 100;
    static inline const QString& kBuiltInKeyName = CKeyTable::kBuiltInKeyName;
    static inline const QString& kTempKeyName = CKeyTable::kTempKeyName;

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
    static int PasswordToBytes(const QString& password, std::array<std::uint8_t, 34>& bytes) {
        return CKeyTable::PasswordToBytes(password, bytes);
    }
    EngineResult RegisterKey(const std::uint8_t* password, int count, const QString& name, const QString& hint);
    EngineResult RegisterBuiltInKey();
    EngineResult RegisterTempKey(const QString& password, const QString& hint, QString& name);
    EngineResult RegisterTempKeyBytes(const std::uint8_t* password, int count, QString& name);
    // Installs key material made elsewhere (the list key of the common data) under a name.
    EngineResult RegisterRawKey(const QString& name, const std::uint8_t key[32], const std::uint8_t iv[16]);
    // Whether a key of that name is registered.
    [[nodiscard]] bool HasKey(const QString& name) const { return m_keys.Find(name) != nullptr; }
    void ReleaseKey(const QString& name);
    EngineResult SelectKey(KeyDirection direction, const QString& name, std::uint8_t iv[16], QString* hint = nullptr);
    const QString& BuiltInKeyName() const { return m_builtInName; }
    const KeySlot& Slot(int index) const { return m_keys.Slot(index); }
    // Whether the key slots lie in locked memory (false when RLIMIT_MEMLOCK was too small for them).
    bool KeySlotsLocked() const { return m_keys.Locked(); }

    // Whether every character is allowed.
    [[nodiscard]] static bool HasAllowedPasswordChars(const QString& password) {
        return CKeyTable::HasAllowedChars(password);
    }
    // 8 to 32 characters, every one allowed.
    static bool KeepsPasswordRules(const QString& password) {
        return password.size() >= 8 && password.size() <= 32 && CKeyTable::HasAllowedChars(password);
    }
    // The score the strength meter shows, 0 to 85.
    [[nodiscard]] static int PasswordStrength(const QString& password) { return CKeyTable::Strength(password); }

    // ---- busy flag ----
    // Waits up to 100 × 20 ms for the flag; on the 100th failed try shows `message` (warning) and fails.
    EngineResult TakeBusy(int message);
    void ReleaseBusy() { m_busy = false; }
    bool IsBusy() const { return m_busy; }

    // ---- enciphered buffers ----
    // `chain`: the last enciphered block of the buffer this one continues, so that a long buffer can be
    // taken in pieces; without one the key's own starting block.
    EngineResult EncipherBuffer(std::uint8_t* buffer, qint64 length, const QString& key,
                                const std::uint8_t* chain = nullptr);
    EngineResult EncipherBufferHeld(std::uint8_t* buffer, qint64 length, const QString& key,
                                    const std::uint8_t* chain = nullptr);
    EngineResult DecipherBuffer(std::uint8_t* buffer, qint64 length, const QString& key,
                                const std::uint8_t* chain = nullptr);
    EngineResult DecipherBufferHeld(std::uint8_t* buffer, qint64 length, const QString& key,
                                    const std::uint8_t* chain = nullptr);
    EngineResult EncipherWithBuiltInKey(std::uint8_t* buffer, qint64 length);
    EngineResult DecipherWithBuiltInKey(std::uint8_t* buffer, qint64 length);

    // ---- containers: writing ----
    EngineResult MakeContainerName(const QString& folder, QString& name);
    EngineResult EncryptFile(const QString& source, const QString& container, const QString& key);
    // While the batch is open, a new container (no file under its name yet) waits in it, verified under
    // its hidden name, until the batch is committed.
    CContainerBatch& Batch() { return m_batch; }
    // Small files an operation plans to encrypt are compressed ahead on a second thread.
    CDeflateAhead& Ahead() { return m_ahead; }

    // ---- containers: reading ----
    // Fails only when the file cannot be opened; a header that is no container's, or a key that does
    // not open it, leaves the name and dates of `info` empty.
    EngineResult ReadContainerInfo(const QString& path, ContainerInfo& info, const QString& key, bool show);
    // Whether the 32 bytes of the check text open with `key`; a mismatch is shown when `show`.
    EngineResult VerifyPassword(const std::uint8_t encrypted[32], const QString& key, bool show);
    ContainerCheck CheckSignature(const ContainerHeader& header);
    // Nothing only when the file cannot be opened (shown when `show`); otherwise whether it is usable and,
    // unless it is, why not.
    [[nodiscard]] std::optional<ContainerCheck> CheckContainer(const QString& path, ContainerInfo& info,
                                                               const QString& key, bool show);
    // How long a decrypted file must last: a staged take-out copy is wiped when its window closes, so it
    // need not reach the disk (and is better off not reaching it); anything else is synced before its name.
    enum class Durability { kDurable, kTransient };
    EngineResult DecryptFile(const QString& container, const QString& destination, const QString& key,
                             Durability durability = Durability::kDurable);
    EngineResult VerifyNewContainer(const QString& source, const QString& container, const QString& key);
    // A full dry-run decode of a container with the size and tail checks of a decryption.
    EngineResult VerifyContainer(const QString& container, const QString& key);
    // The same checks without a word to the user: what is wrong comes back as a typed verdict. Uses
    // neither the busy flag nor the engine's ciphers.
    [[nodiscard]] ContainerVerdict CheckQuietly(const QString& container, const QString& key);
    // A read-only copy of the built-in key and `key`, for checks on other threads (CContainerProbe);
    // null when either is not registered.
    [[nodiscard]] std::shared_ptr<const ProbeKeys> ProbeKeysFor(const QString& key) const;

    // ---- containers: maintenance ----
    EngineResult RenameStoredName(const QString& source, const QString& target, const QString& name, const QString& key,
                                  bool show);
    EngineResult UpdateHint(const QString& path, const QString& hint);
    EngineResult CompareFileTails(const QString& first, const QString& second, bool compareSizes);
    // Overwrites a file with zeros in place, synced unless `sync` is false (the caller syncs the volume);
    // false with `errorText` when it could not.
    [[nodiscard]] bool WipeFile(const QString& path, QString& errorText, bool sync = true);
    // Overwrites a file with zeros and deletes it. A link, or a file with other names, is only
    // unlinked: zeroing it would destroy what the other names show. With `renameFirst` the file first
    // gets a wipe name, and gets its own name back when it cannot be wiped; a file another program holds
    // open is left as it is. With `expected`, a file that is no longer that one (saved over meanwhile) is
    // left in place and kWipeKeptChanged returned. kWiped, kWipeKeptChanged, or kWipeFailed with
    // `errorText`; nothing is shown.
    enum [[nodiscard]] WipeResult : int{kWiped = 0, kWipeFailed = -1, kWipeKeptChanged = -2};
    WipeResult WipeAndDelete(const QString& path, QString& errorText, bool renameFirst,
                             const FileIdentity* expected = nullptr);
    // WipeAndDelete up to the removal: `zeroed` is the file (under its wipe name with `renameFirst`) left
    // to cut to nothing and remove with TruncateAndRemove, once its zeros are on the disk; empty when
    // nothing is left to do (a link, or a file with other names, is already removed).
    WipeResult ZeroForDelete(const QString& path, QString& errorText, bool renameFirst, const FileIdentity* expected,
                             bool sync, QString& zeroed);
    // Length 0 (nothing of the size stays either), then removed.
    WipeResult TruncateAndRemove(const QString& path, QString& errorText);

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

private:
    struct DecodeResult;
    struct SealedHead;
    WipeResult RemoveWithRetries(const QString& path, QString& errorText);
    void Report(int number, const QString& tail, Icon icon = Icon::Error);
    // Report for the operations that give an engine result: the failure is shown, the result is kFailed.
    EngineResult Refuse(int number, const QString& tail, Icon icon = Icon::Error);
    // A failed read or write of `file`: its error into `error`, shown with `message` unless that is 0.
    EngineResult FileFailed(EngineResult result, int message, const File& file, int& error);
    QString ErrorDetail(int error) const;
    EngineResult CheckFreeSpace(const QString& target, qint64 needed);
    EngineResult ReadTail(File& file, qint64 size, std::uint8_t tail[16], int seekMessage, int shortMessage);
    EngineResult KeyCipher(CAesCipher& cipher, KeyDirection direction, const QString& name, std::uint8_t iv[16],
                           QString* hint = nullptr);
    EngineResult Decode(File& in, File* out, const QString& key, DecodeResult& result);
    // Header, check text and name block of an open container; leaves `in` at the body.
    EngineResult DecodeHeader(File& in, const QString& key, DecodeResult& result, int& padCount, qint64& remaining);
    EngineResult CheckCheckText(const ContainerHeader& header, const QString& key);
    EngineResult DecryptInto(const QString& container, const QString& destination, const QString& temp,
                             const QString& key, DecodeResult& decoded, int& error, Durability durability);
    EngineResult CheckDecrypted(const QString& container, const QString& destination, const QString& temp,
                                const QString& key, const DecodeResult& decoded, int& error);
    // The messages of a failed encryption or decryption, and the removal of its half-made file.
    EngineResult Conclude(EngineResult result, int error, const QString& source, const QString& temp,
                          const QString& target, int failedMessage);
    EngineResult DeletePartial(const QString& path, const QString& shownPath, EngineResult result);
    EngineResult EncryptInto(File& in, File& out, const QString& source, const QString& temp, const QString& key,
                             qint64& expectedSize, int& error, std::unique_ptr<CBodyVerifier>& verifier,
                             bool deferred);
    EngineResult SealHead(File& in, const QString& source, const QString& key, SealedHead& head, int& error);
    EngineResult ReadSourceFacts(File& in, SealedHead& head, int& error);
    EngineResult StartVerifier(const QString& source, const QString& temp, const QString& key, qint64 bodyOffset,
                               qint64 size, std::unique_ptr<CBodyVerifier>& verifier, int& error);
    EngineResult WriteHeader(File& out, ContainerHeader& header, int& error, bool deferred);
    EngineResult FinishContainer(const QString& source, const QString& temp, const QString& container,
                                 const QString& key, qint64 expectedSize, EngineResult result, int& error,
                                 CBodyVerifier* verifier, bool deferred);
    EngineResult CheckWrittenSize(const QString& source, const QString& temp, const QString& container,
                                  qint64 expectedSize);
    // A new container opened for its check, with the busy flag taken; null when either failed (shown).
    std::unique_ptr<File> OpenForCheck(const QString& container);
    // The check of a container written with a verifier behind the writer: the verifier's outcome for
    // the body, then the header and name block read back.
    EngineResult VerifyWrittenContainer(const QString& source, const QString& container, const QString& key,
                                        CBodyVerifier& verifier);
    EngineResult CopyWithNewName(File& in, File& out, const QString& name, const QString& key, int& error);
    EngineResult RewriteHint(File& file, const QString& hint, int& error);
    EngineResult ReadFileTail(const QString& path, qint64& size, std::uint8_t tail[16], int openMsg, int seekMsg,
                              int sizeMsg);

    Interaction& m_ui;
    MessageSource& m_messages;
    FileSystem& m_files;
    CKeyTable m_keys;
    CAesCipher m_encryptor;
    CAesCipher m_decryptor;
    // The built-in key's own pair, so that neither pair is keyed anew at every header of a run of files.
    CAesCipher m_builtInEncryptor;
    CAesCipher m_builtInDecryptor;
    QString m_builtInName;
    QString m_workFolder;
    bool m_busy = false;
    CContainerBatch m_batch;
    CDeflateAhead m_ahead;
};

} // namespace korimbo
