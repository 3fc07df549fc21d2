#pragma once

#include "crypto/CryptEngine.h"
#include "state/Verdict.h"
#include "util/OpResult.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace korimbo {

// One registered change password ("変更用パスワード"): fields as stored, space-filled.
struct ChangePasswordEntry {
    QString tag;
    QString name;     // 48 units
    QString password; // 32 units, plain while held
    QString hint;     // 48 units
};

// The administrator password's verifier and hint and the list of change passwords
// ("zorcl_common1.dat", 1024-byte records enciphered with the built-in key). Loaded, used, saved and
// cleared within one operation.
class CommonManagementData {
public:
    static constexpr int kRecordSize = 1024;
    static constexpr int kMaxEntries = 100;
    static constexpr int kMaxRecords = 500;
    static inline const QString kFileName = QStringLiteral("zorcl_common1.dat");
    static inline const QString kAdminTag = QStringLiteral("001             ");
    static inline const QString kEntryTag = QStringLiteral("002             ");
    static inline const QString kListKeyName = QStringLiteral("<kanri-list>");

    CommonManagementData(CCryptEngine& engine, FileSystem& files) : m_engine(engine), m_files(files) {}
    ~CommonManagementData() { ClearManagementData(); }

    // kYes: loaded, and the administrator password opens the administrator record; kNo: loaded, it does
    // not (a strict load fails instead when there is a record it does not open).
    Verdict LoadManagementData(const QString& envFolder, const QString& adminPassword, int strict);
    OpResult SaveManagementData(const QString& envFolder, const QString& adminPassword, const QString& adminHint,
                                int newAdminRecord);
    void GetChangePasswords(int& count, QStringList& names, QStringList& passwords, QStringList& hints) const;
    // False, with nothing changed, when the lists are shorter than `count` or it is out of range.
    [[nodiscard]] bool SetChangePasswords(int count, const QStringList& names, const QStringList& passwords,
                                          const QStringList& hints);
    bool ManagementDataExists(const QString& envFolder);
    OpResult DeleteManagementData(const QString& envFolder);
    void ClearManagementData();
    // kYes when the password is on the list of change passwords.
    Verdict IsChangePasswordRegistered(const QString& envFolder, const QString& password);

    bool Loaded() const { return m_loaded; }
    int RecordCount() const { return m_recordCount; }
    QString AdminTag() const { return m_adminTag; }
    QString AdminHint() const { return m_adminHint; } // 48 units as stored

private:
    OpResult Report(int number, const QString& tail);
    QByteArray Reference(int number, int bytes);
    int InstallListKey(const QByteArray& storedVerifier);
    int TakeRecord(const QByteArray& data, qsizetype pos, const QString& adminKey, int strict, bool& adminOk,
                   QByteArray& storedVerifier, bool& stop);

    CCryptEngine& m_engine;
    FileSystem& m_files;
    bool m_loaded = false;
    int m_recordCount = 0;
    QString m_adminTag;
    QByteArray m_adminVerifier; // 256 bytes: plain after a load with the right password
    QString m_adminHint;
    QList<ChangePasswordEntry> m_entries;
};

} // namespace korimbo
