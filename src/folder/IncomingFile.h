#pragma once

#include "crypto/CryptEngine.h"
#include "folder/EncryptInPrompts.h"
#include "folder/NameFile.h"
#include "util/FileSystem.h"
#include "util/Interaction.h"
#include "util/MessageSource.h"

#include <QString>

namespace korimbo {

// How one step of taking something in ended: go on, this item was skipped, the run stops after a message,
// or it ends on the user's word (Cancel, the stop command).
enum class IntakeStep { kNext, kSkipped, kStop, kEnd };

// What every incoming file of one encrypt-in run shares.
struct IncomingRun {
    CCryptEngine& engine;
    FileSystem& files;
    Interaction& ui;
    MessageSource& messages;
    EncryptInPrompts& prompts;
    QString key;            // the destination's key slot
    QString creationArea;   // where a container of another password is decrypted
    bool showNotice = true; // the already-encrypted notice, until its box is ticked
};

// One file about to be encrypted in, told apart by its header: a plain file, a container of the folder's
// key (copied as it is), or a container of another password, which is decrypted into the creation area once
// its password is given, so that it can be encrypted anew with the folder's key. That plaintext copy is
// wiped when the object goes.
class CIncomingFile {
public:
    CIncomingFile(IncomingRun& run, const QString& source, bool topLevel);
    ~CIncomingFile();
    CIncomingFile(const CIncomingFile&) = delete;
    CIncomingFile& operator=(const CIncomingFile&) = delete;

    // kNext when it is to be taken in, else kStop or kEnd.
    [[nodiscard]] IntakeStep Open();

    // A container of the folder's key, to be copied unchanged.
    bool Usable() const { return m_status == kUsable; }
    const ContainerInfo& Info() const { return m_info; }
    // The name the folder will show: a container's stored name, a plain file's shown name.
    const QString& Name() const { return m_name; }
    // What is encrypted: the source, or the plaintext copy of a container of another password.
    QString PlainPath() const { return m_plainCopy.isEmpty() ? m_source : m_plainCopy; }
    // This side of the overwrite question.
    EncryptInPrompts::FileSide Side() const;
    // Same size and time as the container already in the folder.
    bool SameAs(const NameEntry& existing) const;

private:
    IntakeStep OpenWithOtherPassword();
    IntakeStep Decrypt(const QString& key);
    QString StoredName() const;
    int Report(int number, const QString& tail, Icon icon = Icon::Error);

    IncomingRun& m_run;
    QString m_source;
    bool m_topLevel = false;
    int m_status = kNotContainer;
    ContainerInfo m_info;
    QString m_name;
    QString m_plainCopy;
    QString m_plainFolder;
};

} // namespace korimbo
