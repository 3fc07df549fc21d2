#pragma once

#include "platform/Associations.h"
#include "platform/UserFolders.h"
#include "platform/Volumes.h"

#include <QDir>
#include <QHash>

namespace korimbo {

// A volume of a chosen kind for every path, rooted at "/".
class FakeVolumes final : public Volumes {
public:
    DriveType type = DriveType::Fixed;
    bool acl = true;
    bool ownerModes = true; // false: a FAT, exFAT or NTFS stick
    QString MountRoot(const QString&) override { return QStringLiteral("/"); }
    DriveType TypeOf(const QString&) override { return type; }
    bool KeepsAccessControl(const QString&) override { return acl; }
    bool KeepsOwnerModes(const QString&) override { return ownerModes; }
    SysResult FreeBytes(const QString&, qint64& bytes) override {
        bytes = qint64(1) << 40;
        return 0;
    }
};

// User folders inside a test's own folder.
class FakeUserFolders final : public UserFolders {
public:
    explicit FakeUserFolders(const QString& home = QString()) : m_home(home) {}
    QString Documents() override { return m_home.isEmpty() ? QString() : m_home + QStringLiteral("/Documents"); }
    QString Desktop() override { return m_home.isEmpty() ? QString() : m_home + QStringLiteral("/Desktop"); }
    QString Templates() override { return m_home.isEmpty() ? QString() : m_home + QStringLiteral("/Templates"); }

private:
    QString m_home;
};

// Every type opens with one editor.
class FakeAssociations final : public Associations {
public:
    QString program = QStringLiteral("/usr/bin/example-editor");
    int DefaultProgramOf(const QString&, QString& out) override {
        out = program;
        return program.isEmpty() ? -1 : 0;
    }
    int DefaultAppIdOf(const QString&, QString& out) override {
        out = program.isEmpty() ? QString() : QStringLiteral("org.example.editor.desktop");
        return program.isEmpty() ? -1 : 0;
    }
    // Type names, new-file descriptions and the new-file type list, by extension with its dot.
    QHash<QString, QString> typeNames;
    QHash<QString, ShellNew> shellNew;
    QStringList newFileTypes;
    int FileTypeName(const QString& extension, QString& out) override {
        if (!typeNames.contains(extension))
            return -1;
        out = typeNames.value(extension);
        return 0;
    }
    int ShellNewOf(const QString& extension, ShellNew& out) override {
        if (!shellNew.contains(extension))
            return -1;
        out = shellNew.value(extension);
        return 0;
    }
    QStringList CollectNewFileTypes() override { return newFileTypes; }
    OpenWithList programs; // what every type offers to open with
    void OpenWithPrograms(const QString&, int, OpenWithList& out) override { out = programs; }
    QString ProgramDisplayName(const QString& path) override { return path; }
};

} // namespace korimbo
