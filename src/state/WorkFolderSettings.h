#pragma once

#include "crypto/CryptEngine.h"
#include "util/OpResult.h"

#include <QString>

namespace korimbo {

// The root of decrypted working copies: the program's own "ZORp/tmp", or a folder the user chose
// ("zorcl_common2.dat", records of key and value, enciphered with the built-in key).
class WorkFolderSettings {
public:
    static constexpr int kRecordSize = 1024;
    static constexpr int kKeyUnits = 48;
    static constexpr int kValueUnits = 464;
    static inline const QString kFileName = QStringLiteral("zorcl_common2.dat");

    WorkFolderSettings(CCryptEngine& engine, FileSystem& files, const QString& standardWorkFolder)
        : m_engine(engine), m_files(files), m_standard(standardWorkFolder) {}

    OpResult LoadWorkFolderSettings(const QString& envFolder);
    OpResult SaveWorkFolderSettings(const QString& envFolder);
    QString StandardWorkFolder() const { return m_standard; }

    bool Loaded() const { return m_loaded; }
    QString angoTempFolderFlg = QStringLiteral("0");
    QString angoTempFolder;
    // Where this run keeps plaintext (working copies, take-out and export staging, encryption scratch)
    // when the work root cannot keep it private; empty: in the work root. Never saved.
    QString plainRoot;

    // The root holding the plaintext areas: plainRoot when set, else the work root.
    QString PlainRoot() const { return plainRoot.isEmpty() ? angoTempFolder : plainRoot; }
    // The root holding `area` (WorkAreas): the name-file mirror stays in the work root (it is enciphered).
    QString RootOf(const QString& area) const;
    QString dummy1 = QStringLiteral("dummy");
    int dummy2 = 1;

private:
    OpResult Report(int number, const QString& tail);
    void Assign(const QString& key, const QString& value);

    CCryptEngine& m_engine;
    FileSystem& m_files;
    QString m_standard;
    bool m_loaded = false;
};

// The program's standard work folder below its own folder.
inline QString StandardWorkFolder(const QString& programFolder) {
    return programFolder + QStringLiteral("/ZORp/tmp");
}

} // namespace korimbo
