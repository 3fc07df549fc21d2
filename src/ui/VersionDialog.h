#pragma once

#include <QDialog>
#include <QString>

class QLabel;

namespace korimbo {

// The version as stored with the program; the dialog shows it without the leading "V".
inline const QString kStoredVersion = QStringLiteral("V1.72");

// The product home page. Empty until the project has a public page; HomePageUrl then falls back to the
// README beside the program.
inline const QString kHomePageUrl = QString();

// The address the home page command opens and the version dialog links to.
QString HomePageUrl(const QString& programFolder);

// "Version " + kStoredVersion without its first character.
QString VersionText();

class CVersionDialog : public QDialog {
    Q_OBJECT

public:
    explicit CVersionDialog(const QString& homePageUrl, QWidget* parent = nullptr);

    int Run();

    QLabel* NameLabel() const { return m_name; }
    QLabel* VersionLabel() const { return m_version; }
    QLabel* LinkLabel() const { return m_link; }

private:
    QLabel* m_name;
    QLabel* m_version;
    QLabel* m_link;
};

} // namespace korimbo
