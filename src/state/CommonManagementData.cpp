#include "state/CommonManagementData.h"

#include "crypto/KeyMaterial.h"
#include "util/DisplayText.h"
#include "util/ErrorText.h"
#include "util/MessageNumbers.h"
#include "util/MessageText.h"
#include "util/SecretText.h"

#include <cstring>

namespace korimbo {

namespace {

QString Utf16Field(const QByteArray& data, qsizetype offset, int units) {
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(data.constData() + offset), units);
}

QString Padded(const QString& text, int units, char16_t filler = u' ') {
    QString padded = text.left(units);
    while (padded.size() < units)
        padded.append(QChar(filler));
    return padded;
}

QByteArray Utf16Bytes(const QString& text, int units, char16_t filler) {
    const QString padded = Padded(text, units, filler);
    return QByteArray(reinterpret_cast<const char*>(padded.utf16()), units * 2);
}

// A load's answer after a failure it has shown.
Verdict Failed(OpResult shown) {
    static_cast<void>(shown);
    return Verdict::kFailed;
}

std::uint8_t* U8(QByteArray& bytes) {
    return reinterpret_cast<std::uint8_t*>(bytes.data());
}

} // namespace

OpResult CommonManagementData::Report(int number, const QString& tail) {
    ReportMessage(m_engine.Ui(), m_engine.Messages(), number, tail);
    return OpResult::kFailed;
}

// The first units of a reference text in a zero-filled buffer.
QByteArray CommonManagementData::Reference(int number, int bytes) {
    QByteArray reference(bytes, '\0');
    const QString text = m_engine.Messages().MsgB(number).left(bytes / 2);
    std::memcpy(reference.data(), text.utf16(), static_cast<std::size_t>(text.size()) * 2);
    return reference;
}

// The list key: bytes 224..239 of the stored admin verifier and the first 16 bytes of B35. It does not
// depend on the admin password, so the list reads without it.
int CommonManagementData::InstallListKey(const QByteArray& storedVerifier) {
    std::uint8_t key[32];
    std::memcpy(key, storedVerifier.constData() + 224, 16);
    std::memcpy(key + 16, Reference(35, 16).constData(), 16);
    const auto iv = SlotFiller();
    m_engine.ReleaseKey(kListKeyName);
    const int rc = m_engine.RegisterRawKey(kListKeyName, key, iv.data());
    std::memset(key, 0, sizeof key);
    return rc;
}

void CommonManagementData::ClearManagementData() {
    m_recordCount = 0;
    m_adminTag.clear();
    m_adminVerifier.fill('\0');
    m_adminVerifier.clear();
    m_adminHint.clear();
    for (ChangePasswordEntry& entry : m_entries)
        WipeString(entry.password);
    m_entries.clear();
    m_engine.ReleaseKey(kListKeyName);
}

bool CommonManagementData::ManagementDataExists(const QString& envFolder) {
    return m_files.Exists(envFolder + u'/' + kFileName);
}

OpResult CommonManagementData::DeleteManagementData(const QString& envFolder) {
    const QString path = envFolder + u'/' + kFileName;
    if (const int rc = m_files.Remove(path).error; rc != 0)
        return Report(msg::kCommonDataNotDeleted,
                      WithPath(FileErrorText(FileErrorCause(rc)), path, PathSeparator::Paragraph));
    return OpResult::kDone;
}

Verdict CommonManagementData::LoadManagementData(const QString& envFolder, const QString& adminPassword, int strict) {
    bool adminOk = false;
    m_loaded = false;
    ClearManagementData();
    const QString path = envFolder + u'/' + kFileName;
    if (!m_files.Exists(path)) {
        if (const int rc = m_files.ReplaceContents(path, QByteArray()).error; rc != 0)
            return Failed(Report(msg::kCommonDataNotMade,
                                 WithPath(FileErrorText(FileErrorCause(rc)), path, PathSeparator::Line)));
    }
    qint64 size = 0;
    if (m_files.Size(path, size).Failed())
        return Failed(Report(msg::kCommonDataSizeUnread, path));
    if (size == 0 && strict == 1) {
        m_loaded = true;
        return Verdict::kNo;
    }
    QByteArray data;
    if (const int rc = m_files.ReadContents(path, data).error; rc != 0)
        return Failed(
            Report(msg::kCommonDataNotRead, WithPath(FileErrorText(FileErrorCause(rc)), path, PathSeparator::Line)));
    if (m_engine.DecipherWithBuiltInKey(U8(data), data.size()) != 0)
        return Verdict::kFailed;
    QString adminKey;
    if (m_engine.RegisterTempKey(adminPassword, QString(), adminKey) != 0)
        return Verdict::kFailed;

    QByteArray storedVerifier;
    bool stop = false;
    for (qsizetype pos = 0, records = 0; !stop && records < kMaxRecords && pos + kRecordSize <= data.size();
         pos += kRecordSize, ++records) {
        if (TakeRecord(data, pos, adminKey, strict, adminOk, storedVerifier, stop) != 0) {
            data.fill('\0');
            return Verdict::kFailed;
        }
    }
    data.fill('\0');
    if (strict == 1)
        m_loaded = true;
    return adminOk ? Verdict::kYes : Verdict::kNo;
}

int CommonManagementData::TakeRecord(const QByteArray& data, qsizetype pos, const QString& adminKey, int strict,
                                     bool& adminOk, QByteArray& storedVerifier, bool& stop) {
    const QString tag = Utf16Field(data, pos, 16);
    if (tag == kAdminTag) {
        m_adminTag = tag;
        storedVerifier = data.mid(pos + 32, 256);
        m_adminVerifier = storedVerifier;
        m_adminHint = Utf16Field(data, pos + 288, 48);
        if (m_engine.DecipherBuffer(U8(m_adminVerifier), m_adminVerifier.size(), adminKey) != 0)
            return -1;
        if (m_adminVerifier == Reference(34, 256)) {
            adminOk = true;
        } else if (strict == 1) {
            static_cast<void>(
                Report(msg::kWrongAdminPassword, WithoutTrailingSpaces(m_adminHint) + QStringLiteral(" 」です。")));
            return -1;
        }
    } else if (tag == kEntryTag) {
        if (m_entries.size() < kMaxEntries) {
            if (m_entries.isEmpty() &&
                InstallListKey(storedVerifier.size() == 256 ? storedVerifier : QByteArray(256, '\0')) != 0)
                return -1;
            QByteArray password = data.mid(pos + 128, 64);
            if (m_engine.DecipherBuffer(U8(password), password.size(), kListKeyName) != 0)
                return -1;
            m_entries.append(
                {tag, Utf16Field(data, pos + 32, 48), Utf16Field(password, 0, 32), Utf16Field(data, pos + 192, 48)});
            password.fill('\0');
        }
    } else {
        stop = true;
        return 0;
    }
    ++m_recordCount;
    return 0;
}

OpResult CommonManagementData::SaveManagementData(const QString& envFolder, const QString& adminPassword,
                                                  const QString& adminHint, int newAdminRecord) {
    if (!m_loaded)
        return Report(msg::kCommonDataNotLoaded, QString());
    QString adminKey;
    if (m_engine.RegisterTempKey(adminPassword, QString(), adminKey) != 0)
        return OpResult::kFailed;
    const bool blank = m_adminTag < kAdminTag && m_adminVerifier.count('\0') == m_adminVerifier.size();
    if (newAdminRecord == 1 || blank) {
        m_adminTag = kAdminTag;
        m_adminVerifier = Reference(34, 256);
        m_adminHint = Padded(adminHint, 48);
    }

    QByteArray verifier = m_adminVerifier;
    if (m_engine.EncipherBuffer(U8(verifier), verifier.size(), adminKey) != 0)
        return OpResult::kFailed;
    QByteArray data(kRecordSize, ' ');
    data.replace(0, 32, Utf16Bytes(m_adminTag, 16, u' '));
    data.replace(32, 256, verifier);
    data.replace(288, 96, Utf16Bytes(m_adminHint, 48, u' '));
    if (InstallListKey(verifier) != 0)
        return OpResult::kFailed;
    for (const ChangePasswordEntry& entry : m_entries) {
        QByteArray password = Utf16Bytes(entry.password, 32, u' ');
        if (m_engine.EncipherBuffer(U8(password), password.size(), kListKeyName) != 0)
            return OpResult::kFailed;
        QByteArray record(kRecordSize, ' ');
        record.replace(0, 32, Utf16Bytes(entry.tag, 16, u' '));
        record.replace(32, 96, Utf16Bytes(entry.name, 48, u' '));
        record.replace(128, 64, password);
        record.replace(192, 96, Utf16Bytes(entry.hint, 48, u' '));
        data.append(record);
    }
    if (m_engine.EncipherWithBuiltInKey(U8(data), data.size()) != 0)
        return OpResult::kFailed;
    const QString path = envFolder + u'/' + kFileName;
    if (const int rc = m_files.ReplaceContents(path, data).error; rc != 0)
        return Report(msg::kCommonDataNotWritten,
                      WithPath(FileErrorText(FileErrorCause(rc)), path, PathSeparator::Line));
    return OpResult::kDone;
}

void CommonManagementData::GetChangePasswords(int& count, QStringList& names, QStringList& passwords,
                                              QStringList& hints) const {
    count = static_cast<int>(m_entries.size());
    names.clear();
    passwords.clear();
    hints.clear();
    for (const ChangePasswordEntry& entry : m_entries) {
        names.append(WithoutTrailingSpaces(entry.name));
        passwords.append(WithoutTrailingSpaces(entry.password));
        hints.append(WithoutTrailingSpaces(entry.hint));
    }
}

bool CommonManagementData::SetChangePasswords(int count, const QStringList& names, const QStringList& passwords,
                                              const QStringList& hints) {
    if (count < 0 || count > kMaxEntries || names.size() < count || passwords.size() < count || hints.size() < count)
        return false;
    for (ChangePasswordEntry& entry : m_entries)
        WipeString(entry.password);
    m_entries.clear();
    for (int i = 0; i < count; ++i)
        m_entries.append({kEntryTag, names[i].left(48), passwords[i].left(32), hints[i].left(48)});
    m_recordCount = count + 1;
    return true;
}

Verdict CommonManagementData::IsChangePasswordRegistered(const QString& envFolder, const QString& password) {
    if (!ManagementDataExists(envFolder))
        return Verdict::kNo;
    if (LoadManagementData(envFolder, QStringLiteral(" "), 0) == Verdict::kFailed) {
        ClearManagementData();
        return Verdict::kFailed;
    }
    int count = 0;
    QStringList names;
    QStringList passwords;
    QStringList hints;
    GetChangePasswords(count, names, passwords, hints);
    const bool found = passwords.contains(password);
    ClearManagementData();
    return found ? Verdict::kYes : Verdict::kNo;
}

} // namespace korimbo
