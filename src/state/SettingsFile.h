#pragma once

#include "util/FileSystem.h"
#include "util/Interaction.h"
#include "util/MessageSource.h"
#include "util/OpResult.h"

#include <QString>

namespace korimbo {

// The user's preferences, read once at start-up from "ZORportable.ini" and written back at the end.
struct SettingsRecord {
    QString version = QStringLiteral("1.72"); // Base/VL
    int dispMode = 0;
    int titleMode = 0;
    int sizeMfMax = 0;
    int sizeMfHigh = 520;
    int sizeMfWidth = 775;
    int sizeTvWidth = 210;
    int sizeLv2Width = 120;
    int extNonAplFlg = 1;
    int lv1WidthTi = 270;
    int lv1WidthMs = 80;
    int lv1WidthSr = 130;
    int lv1WidthMt = 140;
    int lv1WidthAt = 140;
    int angoOutNameMode = 0;
    int returnAngoMsgFlg = 1;
    int execProcEndWaitFlg = 1;
    int readOnlyMsgDispFlg = 1;
    int usbAutoKaijyoFlg = 0;
    int procEndMsgFlg = 1;
    int outReadOnlyFlg = 1;
    int dandDDecryFlg = 1;
    int outsideReWriteSkipFlg = 0;
    int outsideDDMoveFlg = 0;
};

inline const QString kSettingsVersion = QStringLiteral("1.72");
inline const QString kSettingsFileName = QStringLiteral("ZORportable.ini");

// The settings file's operations. Each takes the environment folder (no trailing slash).
class SettingsFile {
public:
    SettingsFile(FileSystem& files, Interaction& ui, MessageSource& messages)
        : m_files(files), m_ui(ui), m_messages(messages) {}

    static QString PathIn(const QString& folder) { return folder + u'/' + kSettingsFileName; }

    bool SettingsFileExists(const QString& folder);
    // Creates the file as the two bytes FF FE when missing (A549 on failure).
    OpResult EnsureSettingsFile(const QString& folder);
    // Every key into the record (defaults for missing keys), then the three overrides.
    void LoadSettings(const QString& folder, SettingsRecord& record);
    // False when the file could not be written (nothing shown). VL is always written as the program's own
    // version.
    [[nodiscard]] bool SaveSettings(const QString& folder, const SettingsRecord& record);
    // Hides the file where the volume keeps such an attribute (FAT); done elsewhere. kFailed with A450.
    OpResult HideSettingsFile(const QString& folder);
    // A592 + folder and kFailed when the file was written by a newer settings layout.
    OpResult CheckSettingsVersion(const QString& folder, const SettingsRecord& record);

    int ReadIniInt(const QString& section, const QString& key, int fallback, const QString& file);
    QString ReadIniText(const QString& section, const QString& key, const QString& fallback, const QString& file);
    // False when the file could not be written.
    [[nodiscard]] bool WriteIniInt(const QString& section, const QString& key, int value, const QString& file);

    // The C library's decimal conversion: leading blanks, a sign, leading digits; no digits gives 0.
    static int DecimalValue(const QString& text);

private:
    FileSystem& m_files;
    Interaction& m_ui;
    MessageSource& m_messages;
};

} // namespace korimbo
