#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

namespace korimbo {

// A private XDG tree for tests of GIO: HOME and the XDG data and config folders point into a temporary
// folder that sees the system's MIME data but none of its applications. GIO reads the variables once per
// process, so one tree serves a whole test program.
class PrivateXdg {
public:
    bool Valid() const { return m_root.isValid(); }
    QString Path(const QString& relative) const { return m_root.filePath(relative); }

    // Makes the folders and points the environment at them. False when the system has no MIME data.
    bool SetUp() {
        if (!m_root.isValid() || !QFileInfo(QStringLiteral("/usr/share/mime/mime.cache")).isFile())
            return false;
        for (const QString& folder : {QStringLiteral("home"), QStringLiteral("share"), QStringLiteral("etc")})
            if (!QDir().mkpath(Path(folder)))
                return false;
        if (!QFile::link(QStringLiteral("/usr/share/mime"), Path(QStringLiteral("share/mime"))))
            return false;
        qputenv("HOME", QFile::encodeName(Path(QStringLiteral("home"))));
        qputenv("XDG_DATA_HOME", QFile::encodeName(Path(QStringLiteral("data"))));
        qputenv("XDG_DATA_DIRS", QFile::encodeName(Path(QStringLiteral("share"))));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(Path(QStringLiteral("config"))));
        qputenv("XDG_CONFIG_DIRS", QFile::encodeName(Path(QStringLiteral("etc"))));
        qputenv("LC_ALL", "C.UTF-8");
        qunsetenv("LANGUAGE");
        qunsetenv("XDG_CURRENT_DESKTOP");
        return true;
    }

    static bool Write(const QString& path, const QByteArray& content) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
    }

    // An executable script.
    static bool Script(const QString& path, const QByteArray& content) {
        return Write(path, content) &&
               QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // A desktop entry in the private data folder.
    bool App(const QString& id, const QString& name, const QString& exec, const QString& types) const {
        const QString text = QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=%2 %f\nMimeType=%3\n")
                                 .arg(name, exec, types);
        return Write(Path(QStringLiteral("data/applications/") + id), text.toUtf8());
    }

    static bool Run(const QString& program, const QStringList& arguments) {
        QProcess process;
        process.start(program, arguments);
        return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
               process.exitCode() == 0;
    }

private:
    QTemporaryDir m_root;
};

} // namespace korimbo
