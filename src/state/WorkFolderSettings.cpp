#include "state/WorkFolderSettings.h"

#include "state/SettingsFile.h"
#include "state/WorkAreas.h"
#include "util/ErrorText.h"
#include "util/MessageNumbers.h"
#include "util/MessageText.h"

namespace korimbo {

namespace {

// A NUL-padded UTF-16LE field, read up to its first NUL.
QString Field(const QByteArray& data, qsizetype offset, int units) {
    QString text;
    for (int i = 0; i < units; ++i) {
        const auto* p = reinterpret_cast<const unsigned char*>(data.constData() + offset + 2 * i);
        const char16_t unit = static_cast<char16_t>(p[0] | (p[1] << 8));
        if (unit == 0)
            break;
        text.append(QChar(unit));
    }
    return text;
}

void PutField(QByteArray& record, int offset, int units, const QString& text) {
    const QString cut = text.left(units);
    for (qsizetype i = 0; i < cut.size(); ++i) {
        record[offset + 2 * i] = static_cast<char>(cut.at(i).unicode() & 0xFF);
        record[offset + 2 * i + 1] = static_cast<char>(cut.at(i).unicode() >> 8);
    }
}

} // namespace

OpResult WorkFolderSettings::Report(int number, const QString& tail) {
    ReportMessage(m_engine.Ui(), m_engine.Messages(), number, tail);
    return OpResult::kFailed;
}

void WorkFolderSettings::Assign(const QString& key, const QString& value) {
    if (key == QStringLiteral("AngoTempFolderFlg"))
        angoTempFolderFlg = value;
    else if (key == QStringLiteral("AngoTempFolder"))
        angoTempFolder = value;
    else if (key == QStringLiteral("Dummy1"))
        dummy1 = value;
    else if (key == QStringLiteral("Dummy2"))
        dummy2 = SettingsFile::DecimalValue(value);
}

OpResult WorkFolderSettings::LoadWorkFolderSettings(const QString& envFolder) {
    m_loaded = false;
    angoTempFolderFlg = QStringLiteral("0");
    angoTempFolder.clear();
    dummy1 = QStringLiteral("dummy");
    dummy2 = 1;

    const QString path = envFolder + u'/' + kFileName;
    if (!m_files.Exists(path)) {
        if (const int rc = m_files.ReplaceContents(path, QByteArray()).error; rc != 0)
            return Report(msg::kWorkSettingsNotMade,
                          WithPath(FileErrorText(FileErrorCause(rc)), path, PathSeparator::Line));
    }
    qint64 size = 0;
    if (m_files.Size(path, size).Failed())
        return Report(msg::kWorkSettingsSizeUnread, path);
    if (size > 0) {
        QByteArray data;
        if (const int rc = m_files.ReadContents(path, data).error; rc != 0)
            return Report(msg::kWorkSettingsNotRead,
                          WithPath(FileErrorText(FileErrorCause(rc)), path, PathSeparator::Line));
        if (m_engine.DecipherWithBuiltInKey(reinterpret_cast<std::uint8_t*>(data.data()), data.size()) != 0)
            return OpResult::kFailed;
        for (qsizetype pos = 0; pos + kRecordSize <= data.size(); pos += kRecordSize)
            Assign(Field(data, pos, kKeyUnits), Field(data, pos + 2 * kKeyUnits, kValueUnits));
    }
    m_loaded = true;
    if (angoTempFolderFlg == QStringLiteral("0"))
        angoTempFolder = m_standard;
    return OpResult::kDone;
}

QString WorkFolderSettings::RootOf(const QString& area) const {
    return area == WorkAreas::kNameFile ? angoTempFolder : PlainRoot();
}

OpResult WorkFolderSettings::SaveWorkFolderSettings(const QString& envFolder) {
    if (!m_loaded)
        return Report(msg::kWorkSettingsNotLoaded, QString());
    const QString records[][2] = {{QStringLiteral("AngoTempFolderFlg"), angoTempFolderFlg},
                                  {QStringLiteral("AngoTempFolder"), angoTempFolder},
                                  {QStringLiteral("Dummy1"), dummy1},
                                  {QStringLiteral("Dummy2"), QString::number(dummy2)}};
    QByteArray data;
    for (const auto& record : records) {
        QByteArray bytes(kRecordSize, '\0');
        PutField(bytes, 0, kKeyUnits, record[0]);
        PutField(bytes, 2 * kKeyUnits, kValueUnits, record[1]);
        data.append(bytes);
    }
    if (m_engine.EncipherWithBuiltInKey(reinterpret_cast<std::uint8_t*>(data.data()), data.size()) != 0)
        return OpResult::kFailed;
    const QString path = envFolder + u'/' + kFileName;
    if (const int rc = m_files.ReplaceContents(path, data).error; rc != 0)
        return Report(msg::kWorkSettingsNotWritten,
                      WithPath(FileErrorText(FileErrorCause(rc)), path, PathSeparator::Line));
    return OpResult::kDone;
}

} // namespace korimbo
