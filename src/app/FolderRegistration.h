#pragma once

#include "app/Kelpie5App.h"
#include "util/OpResult.h"
#include "workspace/PasswordPrompts.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace korimbo {

// Making a folder an encrypted folder and releasing it again. The folder tree calls these and then adds
// or removes its item; nothing here knows a window.
class CFolderRegistration {
public:
    static constexpr int kMaxPathLength = 120;
    static constexpr int kMaxPasswordTries = 11;
    static inline const QString kProbeFileName = QStringLiteral("zortestf15.delf");
    static inline const QString kRemovableLabel = QStringLiteral("（リムーバルディスク）");
    static inline const QString kOpticalLabel = QStringLiteral("（CD/DVD/BDドライブ）");

    CFolderRegistration(Ckelpie5App& app, PasswordPrompts& prompts);

    // Validates the folder, asks its password and adds it to the registry. On success the engine also holds
    // the folder's key (the folder is logged in) and `driveLabel` receives the drive label text of the tree
    // item. On failure nothing is stored; declined when the user said no to the re-registration question.
    OpResult Register(const QString& path, QString* driveLabel = nullptr);
    // Asks, erases a read-only folder's working copies and removes the folder from the registry; its files
    // stay on disk. Declined when the user said no.
    OpResult Release(const QString& folder);

    // The containers below a folder, sorted by path.
    static QStringList ContainersBelow(const QString& folder);
    // The operating system's own folders, which never become encrypted folders. The user's home folder and
    // everything below it (`home` as given or resolved) never count, wherever the home folders are kept.
    static bool IsSystemFolder(const QString& path, const QString& home = QString());

    // Called with true and false around the long steps (access check, hint rewrite, erasing).
    std::function<void(bool)> busy;

private:
    // A<number> + tail; always -1.
    int Refuse(int number, const QString& tail = QString(), Icon icon = Icon::Warning);
    OpResult Fail(int number, const QString& tail = QString(), Icon icon = Icon::Warning);
    int Say(int number, const QString& text, Icon icon);
    int Validate(const QString& path);
    int ReadOnlyPassword(const QStringList& containers, QString& password, QString& hint);
    int WritablePassword(const QString& path, const QStringList& containers, QString& password, QString& hint);
    // 0: the password opens every container; 1: it does not (said); -1: a container is damaged (said).
    // `firstHint` receives the hint stored in the first container.
    int TestPassword(const QString& password, const QStringList& containers, QString* firstHint = nullptr);
    int ProbeWrite(const QString& path);
    int RewriteHints(const QStringList& containers, const QString& hint);
    [[nodiscard]] int EnterKey(const QString& path, const QString& password, const QString& hint);

    Ckelpie5App& m_app;
    PasswordPrompts& m_prompts;
};

} // namespace korimbo
