#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;
class QTabWidget;

namespace korimbo {

class CK81PPage;
class WorkFolderSettings;
struct SettingsRecord;

// The settings sheet "環境設定": its pages edit the in-memory settings, which are written back on OK
// only. There is no Apply; the settings file itself is written at exit.
class CKankyoSet : public QDialog {
    Q_OBJECT

public:
    // `plainPlace`: the folder that holds this run's decrypted files, shown below the pages when given.
    explicit CKankyoSet(SettingsRecord& settings, QWidget* parent = nullptr, const QString& plainPlace = QString());

    int Run();
    void accept() override;

    QTabWidget* Tabs() const { return m_tabs; }
    CK81PPage* Page() const { return m_page; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }

private:
    SettingsRecord& m_settings;
    QTabWidget* m_tabs;
    CK81PPage* m_page;
    QPushButton* m_ok;
    QPushButton* m_cancel;
    QLabel* m_plainPlace = nullptr;
};

struct KankyoResult {
    bool accepted = false;
    bool extensionDisplayChanged = false; // the caller lists the current folder again
    bool workFolderChanged = false;       // already saved
};

// The command "環境設定": runs the sheet and saves the work folder settings at once when they changed.
KankyoResult RunKankyoSet(QWidget* parent, SettingsRecord& settings, WorkFolderSettings& workFolder,
                          const QString& envFolder);

} // namespace korimbo
