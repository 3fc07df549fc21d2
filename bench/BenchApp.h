#pragma once

#include "app/Kelpie5App.h"
#include "folder/EncryptInPrompts.h"
#include "state/WorkAreas.h"

#include <QDir>
#include <QString>

#include <array>
#include <cstdint>

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

} // namespace korimbo::bench
