#include "ui/VersionDialog.h"

#include "ui/DialogHook.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace korimbo {

QString HomePageUrl(const QString& programFolder) {
    if (!kHomePageUrl.isEmpty())
        return kHomePageUrl;
    return QUrl::fromLocalFile(programFolder + QStringLiteral("/README.md")).toString();
}

QString VersionText() {
    return QStringLiteral("Version ") + kStoredVersion.mid(1);
}

CVersionDialog::CVersionDialog(const QString& homePageUrl, QWidget* parent)
    : QDialog(parent), m_name(new QLabel(QStringLiteral("Korimbo-portable"), this)),
      m_version(new QLabel(VersionText(), this)), m_link(new QLabel(this)) {
    setWindowTitle(QStringLiteral("バージョン情報"));

    auto* icon = new QLabel(this);
    const QIcon programIcon = QApplication::windowIcon();
    if (programIcon.isNull())
        icon->hide();
    else
        icon->setPixmap(programIcon.pixmap(32, 32));

    const QString escaped = homePageUrl.toHtmlEscaped();
    m_link->setTextFormat(Qt::RichText);
    m_link->setText(QStringLiteral("<a href=\"%1\">%2</a>").arg(escaped, QStringLiteral("ホームページ")));
    m_link->setToolTip(homePageUrl);
    m_link->setOpenExternalLinks(true);
    m_link->setTextInteractionFlags(Qt::TextBrowserInteraction);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* texts = new QVBoxLayout;
    texts->addWidget(m_name);
    texts->addWidget(m_version);
    texts->addWidget(m_link);

    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(texts, 1);
    top->addWidget(ok, 0, Qt::AlignTop);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    setAccessibleName(windowTitle());
    setAccessibleDescription(m_name->text() + u' ' + m_version->text());
    ok->setAccessibleDescription(QStringLiteral("バージョン情報を閉じます"));
    ok->setFocus(); // Enter closes; Tab goes on to the link
}

int CVersionDialog::Run() {
    return DialogHook::Exec(*this);
}

} // namespace korimbo
