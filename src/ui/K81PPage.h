#pragma once

#include <QWidget>

class QCheckBox;

namespace korimbo {

struct SettingsRecord;

// The page "設定１" of the settings sheet: the extension display and the open-with fallback.
class CK81PPage : public QWidget {
    Q_OBJECT

public:
    explicit CK81PPage(QWidget* parent = nullptr);

    // Sets the boxes from the settings.
    void Load(const SettingsRecord& settings);
    // Writes the boxes back; only when the sheet closes with OK.
    void Store(SettingsRecord& settings) const;

    QCheckBox* HideExtensionsBox() const { return m_hideExtensions; } // 1116
    QCheckBox* TextFallbackBox() const { return m_textFallback; }     // 1117

private:
    QCheckBox* m_hideExtensions;
    QCheckBox* m_textFallback;
};

} // namespace korimbo
