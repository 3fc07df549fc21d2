#pragma once

#include "folder/FolderItems.h"
#include "folder/FolderServices.h"

#include <QString>

namespace korimbo {

// A container that goes to a folder of another password: the name block and the body are enciphered with
// one key, so it is decrypted into the destination's creation area and made again with the new key.
class CKeyChange {
public:
    CKeyChange(const FolderServices& services, CFolderItems& items, const QString& workRoot);

    // Whether the containers of one path open with the key of the other: one registered folder, or two of
    // one password.
    bool SameKey(const QString& first, const QString& second) const;
    // A container of another password written to `target` under the key of the target's folder, verified;
    // its plaintext lives in the creation area only while it is needed. 0, or -1 (shown).
    [[nodiscard]] int Recrypt(const QString& container, const QString& name, const QString& target);

private:
    CCryptEngine& m_engine;
    FolderRegistry& m_registry;
    FileSystem& m_files;
    CFolderItems& m_items;
    QString m_workRoot;
};

} // namespace korimbo
