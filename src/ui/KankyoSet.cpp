#include "ui/KankyoSet.h"

#include "state/SettingsFile.h"
#include "state/WorkFolderSettings.h"
#include "ui/DialogButtons.h"
#include "ui/DialogHook.h"
#include "ui/K81PPage.h"

#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace korimbo {

CKankyoSet::CKankyoSet(SettingsRecord& settings, QWidget* parent, const QString& plainPlace)
    : QDialog(parent), m_settings(settings), m_tabs(new QTabWidget(this)), m_page(new CK81PPage),
      m_ok(new QPushButton(QStringLiteral("OK"), this)), m_cancel(new QPushButton(QStringLiteral("キャンセル"), this)) {
    setWindowTitle(QStringLiteral("環境設定"));
    m_tabs->addTab(m_page, QStringLiteral("設定１"));
    m_page->Load(m_settings);

    auto* buttons = ButtonRow(*this, m_ok, m_cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs, 1);
    if (!plainPlace.isEmpty()) {
        m_plainPlace = new QLabel(QStringLiteral("復号したファイルの置き場所：") + plainPlace, this);
        m_plainPlace->setObjectName(QStringLiteral("plainPlace"));
        m_plainPlace->setTextFormat(Qt::PlainText);
        m_plainPlace->setWordWrap(true);
        m_plainPlace->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout->addWidget(m_plainPlace);
    }
    layout->addLayout(buttons);
    setAccessibleName(windowTitle());
    setAccessibleDescription(QStringLiteral("表示と動作の設定を変更します。"));
    m_tabs->setAccessibleName(QStringLiteral("設定の分類"));
}

int CKankyoSet::Run() {
    return DialogHook::Exec(*this);
}

void CKankyoSet::accept() {
    m_page->Store(m_settings);
    QDialog::accept();
}

KankyoResult RunKankyoSet(QWidget* parent, SettingsRecord& settings, WorkFolderSettings& workFolder,
                          const QString& envFolder) {
    const int titleMode = settings.titleMode;
    const QString workFlag = workFolder.angoTempFolderFlg;
    const QString workPath = workFolder.angoTempFolder;

    KankyoResult result;
    {
        CKankyoSet sheet(settings, parent, QDir::toNativeSeparators(workFolder.PlainRoot()));
        result.accepted = sheet.Run() == QDialog::Accepted;
    }
    result.extensionDisplayChanged = settings.titleMode != titleMode;

    // No page edits the work folder today; a future one would, and its change must not wait for exit.
    if (workFolder.angoTempFolderFlg != workFlag || workFolder.angoTempFolder != workPath) {
        result.workFolderChanged = true;
        static_cast<void>(workFolder.SaveWorkFolderSettings(envFolder));
    }
    return result;
}

} // namespace korimbo
