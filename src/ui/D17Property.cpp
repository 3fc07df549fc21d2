#include "ui/D17Property.h"

#include "ui/DialogButtons.h"
#include "ui/DialogHook.h"
#include "ui/TypeIcons.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace korimbo {

namespace {

QFrame* Rule(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

} // namespace

CD17Property::CD17Property(const ItemProperties& properties, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("CD17Property"));
    setWindowTitle(QStringLiteral("プロパティ"));
    const bool folder = properties.kind == ItemProperties::kFolder;

    auto* icon = new QLabel(this);
    icon->setPixmap(TypeIcon(properties.name, folder).pixmap(32, 32));
    m_name = new QLabel(properties.name, this);
    m_name->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* head = new QHBoxLayout;
    head->addWidget(icon);
    head->addSpacing(12);
    head->addWidget(m_name, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(head);
    layout->addWidget(Rule(this));
    auto* grid = new QGridLayout;
    grid->setColumnStretch(1, 1);
    grid->setHorizontalSpacing(16);
    layout->addLayout(grid);

    const auto section = [&](std::initializer_list<std::pair<const char16_t*, QString>> rows) {
        bool any = false;
        for (const auto& [label, value] : rows) {
            if (value.isEmpty())
                continue;
            const int row = grid->rowCount();
            auto* key = new QLabel(QString::fromUtf16(label), this);
            key->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            auto* shown = new QLabel(value, this);
            shown->setObjectName(QString::fromUtf16(label));
            shown->setTextInteractionFlags(Qt::TextSelectableByMouse);
            shown->setWordWrap(true);
            grid->addWidget(key, row, 0);
            grid->addWidget(shown, row, 1);
            m_values.insert(QString::fromUtf16(label), shown);
            any = true;
        }
        if (any)
            grid->addWidget(Rule(this), grid->rowCount(), 0, 1, 2);
    };
    section({{u"種類：", properties.typeText}, {u"プログラム：", properties.program}});
    section({{u"場所：", properties.location},
             {u"暗号ファイルの\nサイズ：", properties.containerSize},
             {u"元のサイズ：", properties.plainSize},
             {u"内容：", properties.contents}});
    section({{u"暗号化日時：", properties.encryptedAt},
             {u"暗号ファイル名：", properties.containerName},
             {u"ヒント：", properties.hint},
             {u"作成者：", properties.creator},
             {u"更新日時：", properties.modifiedAt}});

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    layout->addLayout(ButtonRow(*this, ok, nullptr));
    setMinimumWidth(380);
    setAccessibleName(windowTitle());
    setAccessibleDescription(QStringLiteral("選択された項目のプロパティです。"));
}

int CD17Property::Run() {
    return DialogHook::Exec(*this);
}

QString CD17Property::ValueOf(const QString& label) const {
    const QLabel* shown = m_values.value(label);
    return shown ? shown->text() : QString();
}

QString CD17Property::NameText() const {
    return m_name->text();
}

} // namespace korimbo
