#pragma once

#include "app/Kelpie5App.h"
#include "folder/EncryptInPrompts.h"
#include "folder/FolderServices.h"
#include "folder/NameFile.h"
#include "platform/AccessCheck.h"
#include "state/WorkAreas.h"

#include <QDir>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>

namespace korimbo::bench {

// Nothing the benchmarks take in needs a dialog; any question is a fault of the set-up, and cancels.
class NoEncryptInPrompts final : public EncryptInPrompts {
public:
    Overwrite AskFileOverwrite(const FileSide&, const FileSide&, bool) override { return Overwrite::kCancel; }
    Overwrite AskFolderOverwrite(const QString&, const QString&) override { return Overwrite::kCancel; }
    bool ShowAlreadyEncryptedNotice(const QString&) override { return false; }
    PasswordAnswer AskContainerPassword(const QString&, QString&) override { return PasswordAnswer::kCancel; }
};

// `root` registered in the program's fresh state under `password`, logged in, with its work areas made:
// where the benchmarks of whole operations start. 0, or -1 when a step failed.
inline int RegisterAndLogIn(Ckelpie5App& app, const QString& root, const QString& password) {
    if (app.CreateState() != OpResult::kDone)
        return -1;
    AppState& s = app.State();
    if (s.registry->AddFolder(app.EnvironmentFolder(), root, QStringLiteral("hint"), password, QStringLiteral("0"),
                              QStringLiteral("BENCH"), QStringLiteral("0"), 3) != OpResult::kDone)
        return -1;
    std::array<std::uint8_t, 34> bytes{};
    const int count = s.engine->PasswordToBytes(password, bytes);
    if (s.engine->RegisterKey(bytes.data(), count, root, QStringLiteral("hint")) != 0)
        return -1;
    for (const QString& area : WorkAreas::kAll)
        QDir().mkpath(app.WorkAreaOf(s.registry->SlotOf(root), area));
    return 0;
}

// The program over `program` with `root` registered and logged in (RegisterAndLogIn), and the name file
// and access check its folder operations take.
struct LoggedInApp {
    std::unique_ptr<Ckelpie5App> app;
    std::unique_ptr<CNameFile> names;
    std::unique_ptr<CAccessCheck> access;

    // 0, or -1 when a step failed.
    int Start(const QString& program, const QString& root, const QString& password, Ckelpie5App::Services services) {
        app = std::make_unique<Ckelpie5App>(program, services);
        if (RegisterAndLogIn(*app, root, password) != 0)
            return -1;
        AppState& s = app->State();
        names = std::make_unique<CNameFile>(*s.engine, *s.registry, *s.workFolder, services.files, services.ui,
                                            *s.catalogue);
        access = std::make_unique<CAccessCheck>(services.volumes, services.files, services.ui, *s.catalogue);
        return 0;
    }
    FolderServices Services(FileSystem& files, Interaction& ui) {
        AppState& s = app->State();
        return {*s.engine, *s.registry, *names, *access, s.settings, *s.workFolder, files, ui, *s.catalogue};
    }
};

} // namespace korimbo::bench
