#pragma once

#include <QString>

namespace korimbo {

// The user's own folders (documents, desktop, templates). A folder may be unset or not exist.
class UserFolders {
public:
    virtual ~UserFolders() = default;
    virtual QString Documents() = 0;
    virtual QString Desktop() = 0;
    virtual QString Templates() = 0;
};

// From QStandardPaths, which honours user-dirs.dirs.
class LocalUserFolders final : public UserFolders {
public:
    QString Documents() override;
    QString Desktop() override;
    QString Templates() override;
};

} // namespace korimbo
