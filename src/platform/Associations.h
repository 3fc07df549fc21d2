#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace korimbo {

class UserFolders;

// The list of new-file types never grows beyond this.
constexpr int kMaxNewFileTypes = 30;

// How a new file of a type is made: "NullFile" (empty file), "FileName" (copy of the template in value) or
// "Data" (value is the content).
struct ShellNew {
    QString kind;
    QString value;
};

// Parallel lists; entry 0 is the default program, or empty texts in all three when there is none.
struct OpenWithList {
    QStringList paths;
    QStringList names;
    QStringList appIds;
};

// File associations of the desktop: default and other programs of a type, type names, new-file templates.
// Extensions are accepted with or without the leading ".".
class Associations {
public:
    virtual ~Associations() = default;
    // 0 and the full path of the program's executable, or -1.
    virtual int DefaultProgramOf(const QString& extension, QString& program) = 0;
    // 0 and the desktop id of the default application, or -1; a launch through the id honours its Exec line.
    virtual int DefaultAppIdOf(const QString& extension, QString& desktopId) = 0;
    // 0 and the type's description in the user's language, or -1 for an unknown type.
    virtual int FileTypeName(const QString& extension, QString& name) = 0;
    virtual int ShellNewOf(const QString& extension, ShellNew& out) = 0;
    // Extensions (with ".") for which a new file can be made, at most kMaxNewFileTypes.
    virtual QStringList CollectNewFileTypes() = 0;
    // fallback 1 offers the ".txt" program when nothing else is offered.
    virtual void OpenWithPrograms(const QString& extension, int fallback, OpenWithList& out) = 0;
    virtual QString ProgramDisplayName(const QString& programPath) = 0;
};

// The part of a program path after the last "/", the whole path when it holds none.
QString ProgramFileName(const QString& programPath);

// Associations from GIO (mimeapps.list, mimeinfo.cache, shared-mime-info); templates from the user's
// templates folder, which is off when unset, missing or the home folder itself.
class GioAssociations final : public Associations {
public:
    explicit GioAssociations(std::function<QString()> templatesFolder);
    // `folders` must outlive this object.
    explicit GioAssociations(UserFolders& folders);

    int DefaultProgramOf(const QString& extension, QString& program) override;
    int DefaultAppIdOf(const QString& extension, QString& desktopId) override;
    int FileTypeName(const QString& extension, QString& name) override;
    int ShellNewOf(const QString& extension, ShellNew& out) override;
    QStringList CollectNewFileTypes() override;
    void OpenWithPrograms(const QString& extension, int fallback, OpenWithList& out) override;
    QString ProgramDisplayName(const QString& programPath) override;

private:
    struct Template {
        QString extension;
        QString path;
    };
    // One template per extension (compared without case), sorted by file name; empty when templates are off.
    QList<Template> Templates() const;

    std::function<QString()> m_templatesFolder;
};

} // namespace korimbo
