#pragma once

class QMenu;

namespace korimbo {

// The menu every drop of files from a file manager opens, on the list and on the tree alike:
// "暗号化してコピーする(&C)", "暗号化して移動する(&M)", "キャンセル".
void AddEncryptDropEntries(QMenu& menu);
// True for the two entries that encrypt; `move` tells which.
bool IsEncryptDrop(int id, bool& move);

} // namespace korimbo
