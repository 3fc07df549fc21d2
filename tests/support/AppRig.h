#pragma once

#include "FakePlatform.h"
#include "FaultyFileSystem.h"
#include "ScriptedInteraction.h"
#include "app/Kelpie5App.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <filesystem>
#include <memory>

namespace korimbo {

// An application on a program folder of its own, with scripted messages, a fault-injecting file layer
// and a fake platform.
struct AppRig {
    explicit AppRig(const QString& program) : app(program, {ui, fs, volumes, userFolders}) {}
    virtual ~AppRig() = default;

    // Start-up up to the loaded state, as the main window's creation does it.
    bool Start() { return app.InitInstance() && app.CreateState() == OpResult::kDone; }
    FolderRegistry& Registry() { return *app.State().registry; }
    CCryptEngine& Engine() { return *app.State().engine; }
    // A registry entry made directly, as an earlier registration left it.
    int Add(const QString& folder, const QString& password, const QString& readOnly, const QString& workId,
            const QString& hint = QStringLiteral("hint")) {
        return Registry().AddFolder(app.EnvironmentFolder(), folder, hint, password, readOnly, workId,
                                    QStringLiteral("0"), 3) == OpResult::kDone
                   ? 0
                   : -1;
    }
    int Slot(const QString& folder) { return Registry().SlotOf(folder); }

    ScriptedInteraction ui;
    FaultyFileSystem fs;
    FakeVolumes volumes;
    FakeUserFolders userFolders;
    Ckelpie5App app;
};

// Numbered folders in one temporary folder, and a private runtime folder for the single-instance locks.
class TestFolders {
public:
    TestFolders() { qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path())); }
    // QTemporaryDir leaves names that are not UTF-8 behind (the Shift-JIS names some tests make).
    ~TestFolders() {
        std::error_code ignored;
        std::filesystem::remove_all(QFile::encodeName(m_dir.path()).toStdString(), ignored);
    }
    bool Valid() const { return m_dir.isValid() && m_runtime.isValid(); }
    QString Root() const { return m_dir.path(); }
    QString Path(const QString& name) const { return m_dir.filePath(name); }
    QString NewFolder(const QString& prefix) {
        const QString folder = m_dir.filePath(prefix + QString::number(++m_count));
        QDir().mkpath(folder);
        return folder;
    }

private:
    QTemporaryDir m_dir;
    QTemporaryDir m_runtime;
    int m_count = 0;
};

} // namespace korimbo
