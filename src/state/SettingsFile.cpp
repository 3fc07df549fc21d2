#include "state/SettingsFile.h"
#include "util/MessageNumbers.h"

#include "state/IniFile.h"
#include "util/ErrorText.h"
#include "util/MessageText.h"

#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korimbo {

namespace {

struct IntKey {
    const char* section;
    const char* key;
    int SettingsRecord::*field;
};

// The integer keys in the order a fresh file is written.
constexpr IntKey kIntKeys[] = {
    {"Disp", "DispMode", &SettingsRecord::dispMode},
    {"Disp", "TitleMode", &SettingsRecord::titleMode},
    {"Disp", "SizeMfMax", &SettingsRecord::sizeMfMax},
    {"Disp", "SizeMfHigh", &SettingsRecord::sizeMfHigh},
    {"Disp", "SizeMfWidth", &SettingsRecord::sizeMfWidth},
    {"Disp", "SizeTvWidth", &SettingsRecord::sizeTvWidth},
    {"Disp", "SizeLv2Width", &SettingsRecord::sizeLv2Width},
    {"Disp", "ExtNonAplFlg", &SettingsRecord::extNonAplFlg},
    {"Disp", "Lv1WidthTi", &SettingsRecord::lv1WidthTi},
    {"Disp", "Lv1WidthMs", &SettingsRecord::lv1WidthMs},
    {"Disp", "Lv1WidthSr", &SettingsRecord::lv1WidthSr},
    {"Disp", "Lv1WidthMt", &SettingsRecord::lv1WidthMt},
    {"Disp", "Lv1WidthAt", &SettingsRecord::lv1WidthAt},
    {"Action", "AngoOutNameMode", &SettingsRecord::angoOutNameMode},
    {"Action", "ReturnAngoMsgFlg", &SettingsRecord::returnAngoMsgFlg},
    {"Action", "ExecProcEndWaitFlg", &SettingsRecord::execProcEndWaitFlg},
    {"Action", "ReadOnlyMsgDispFlg", &SettingsRecord::readOnlyMsgDispFlg},
    {"Action", "UsbAutoKaijyoFlg", &SettingsRecord::usbAutoKaijyoFlg},
    {"Action", "ProcEndMsgFlg", &SettingsRecord::procEndMsgFlg},
    {"Action", "OutReadOnlyFlg", &SettingsRecord::outReadOnlyFlg},
    {"Action", "DandDDecryFlg", &SettingsRecord::dandDDecryFlg},
    {"Action", "OutsideReWriteSkipFlg", &SettingsRecord::outsideReWriteSkipFlg},
    {"Action", "OutsideDDMoveFlg", &SettingsRecord::outsideDDMoveFlg},
};

} // namespace

int SettingsFile::DecimalValue(const QString& text) {
    const QByteArray bytes = text.toLatin1();
    return static_cast<int>(std::strtol(bytes.constData(), nullptr, 10));
}

bool SettingsFile::SettingsFileExists(const QString& folder) {
    return m_files.Exists(PathIn(folder));
}

OpResult SettingsFile::EnsureSettingsFile(const QString& folder) {
    const QString path = PathIn(folder);
    if (m_files.Exists(path))
        return OpResult::kDone;
    // Created as the byte-order mark alone, so every later write stays UTF-16.
    if (const int rc = m_files.ReplaceContents(path, QByteArray("\xFF\xFE", 2)).error; rc != 0) {
        ReportMessage(m_ui, m_messages, msg::kSettingsNotMade,
                      WithPath(FileErrorText(FileErrorCause(rc)), path, PathSeparator::Paragraph));
        return OpResult::kFailed;
    }
    return OpResult::kDone;
}

void SettingsFile::LoadSettings(const QString& folder, SettingsRecord& record) {
    // One read of the file for all keys.
    CIniFile ini(m_files, PathIn(folder));
    ini.Load();
    const SettingsRecord defaults;
    record.version = ini.Read(QStringLiteral("Base"), QStringLiteral("VL"), defaults.version);
    for (const IntKey& k : kIntKeys)
        record.*k.field = DecimalValue(ini.Read(QString::fromLatin1(k.section), QString::fromLatin1(k.key),
                                                QString::number(defaults.*k.field)));
    record.usbAutoKaijyoFlg = 0;
    record.outsideReWriteSkipFlg = 0;
    record.outsideDDMoveFlg = 1;
}

bool SettingsFile::SaveSettings(const QString& folder, const SettingsRecord& record) {
    QList<CIniFile::Entry> entries{{QStringLiteral("Base"), QStringLiteral("VL"), kSettingsVersion}};
    for (const IntKey& k : kIntKeys)
        entries.append({QString::fromLatin1(k.section), QString::fromLatin1(k.key), QString::number(record.*k.field)});
    CIniFile ini(m_files, PathIn(folder));
    return ini.Write(entries) == 0;
}

OpResult SettingsFile::HideSettingsFile(const QString& folder) {
    const QByteArray path = QFile::encodeName(PathIn(folder));
    struct stat st {};
    if (::stat(path.constData(), &st) != 0) {
        const int error = errno;
        ReportMessage(m_ui, m_messages, msg::kAttributes,
                      WithPath(u'\n' + ErrnoText(error), PathIn(folder), PathSeparator::Paragraph));
        return OpResult::kFailed;
    }
    // Only FAT keeps a hidden attribute; on other file systems the ioctl is refused and nothing is needed.
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return OpResult::kDone;
    __u32 attributes = 0;
    if (::ioctl(fd, FAT_IOCTL_GET_ATTRIBUTES, &attributes) == 0) {
        attributes |= ATTR_HIDDEN;
        ::ioctl(fd, FAT_IOCTL_SET_ATTRIBUTES, &attributes);
    }
    ::close(fd);
    return OpResult::kDone;
}

OpResult SettingsFile::CheckSettingsVersion(const QString& folder, const SettingsRecord& record) {
    if (QString::compare(record.version, kSettingsVersion, Qt::CaseSensitive) <= 0)
        return OpResult::kDone;
    ReportMessage(m_ui, m_messages, msg::kSettingsTooNew, folder);
    return OpResult::kFailed;
}

int SettingsFile::ReadIniInt(const QString& section, const QString& key, int fallback, const QString& file) {
    CIniFile ini(m_files, file);
    return DecimalValue(ini.Read(section, key, QString::number(fallback)));
}

QString SettingsFile::ReadIniText(const QString& section, const QString& key, const QString& fallback,
                                  const QString& file) {
    CIniFile ini(m_files, file);
    return ini.Read(section, key, fallback);
}

bool SettingsFile::WriteIniInt(const QString& section, const QString& key, int value, const QString& file) {
    CIniFile ini(m_files, file);
    return ini.Write(section, key, QString::number(value)) == 0;
}

} // namespace korimbo
