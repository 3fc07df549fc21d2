#include "ui/K81PPage.h"

#include "state/SettingsFile.h"

#include <QCheckBox>
#include <QVBoxLayout>

namespace korimbo {

CK81PPage::CK81PPage(QWidget* parent)
    : QWidget(parent), m_hideExtensions(new QCheckBox(
                           QStringLiteral("ファイル／フォルダー 一覧で、登録されている拡張子は表示しない"), this)),
      m_textFallback(new QCheckBox(
          QStringLiteral("拡張子に紐尽くアプリが無い場合に、「.txt」に紐尽くアプリを「プログラムから開く」に追加"),
          this)) {
    m_hideExtensions->setObjectName(QStringLiteral("1116"));
    m_textFallback->setObjectName(QStringLiteral("1117"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_hideExtensions);
    layout->addWidget(m_textFallback);
    layout->addStretch(1);
    setAccessibleName(QStringLiteral("表示の設定"));
    setAccessibleDescription(QStringLiteral("ファイル名の拡張子と種類の表示を設定します。"));
}

void CK81PPage::Load(const SettingsRecord& settings) {
    // Any extension display value other than 1 hides registered extensions.
    m_hideExtensions->setChecked(settings.titleMode != 1);
    m_textFallback->setChecked(settings.extNonAplFlg == 1);
}

void CK81PPage::Store(SettingsRecord& settings) const {
    settings.titleMode = m_hideExtensions->isChecked() ? 0 : 1;
    settings.extNonAplFlg = m_textFallback->isChecked() ? 1 : 0;
}

} // namespace korimbo
