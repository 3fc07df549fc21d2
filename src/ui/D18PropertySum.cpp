#include "ui/D18PropertySum.h"

#include "ui/DialogButtons.h"
#include "ui/DialogHook.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace korimbo {

CD18PropertySum::CD18PropertySum(const PropertiesSummary& summary, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("CD18PropertySum"));
    setWindowTitle(summary.title);
    m_counts = new QLabel(summary.counts, this);
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    auto* grid = new QGridLayout;
    grid->setColumnStretch(1, 1);
    grid->setHorizontalSpacing(16);
    m_plainSize = new QLabel(summary.plainSize.isEmpty() ? QStringLiteral("－") : summary.plainSize, this);
    m_containerSize = new QLabel(summary.containerSize, this);
    grid->addWidget(new QLabel(QStringLiteral("元のサイズ："), this), 0, 0);
    grid->addWidget(m_plainSize, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("暗号ファイルの\nサイズ："), this), 1, 0);
    grid->addWidget(m_containerSize, 1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_counts);
    layout->addWidget(line);
    layout->addLayout(grid);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    layout->addLayout(ButtonRow(*this, ok, nullptr));
    setMinimumWidth(340);
    setAccessibleName(windowTitle().isEmpty() ? QStringLiteral("プロパティ") : windowTitle());
    setAccessibleDescription(QStringLiteral("選択された項目の数と合計サイズです。"));
}

int CD18PropertySum::Run() {
    return DialogHook::Exec(*this);
}

QString CD18PropertySum::CountsText() const {
    return m_counts->text();
}

QString CD18PropertySum::PlainSizeText() const {
    return m_plainSize->text();
}

QString CD18PropertySum::ContainerSizeText() const {
    return m_containerSize->text();
}

} // namespace korimbo
