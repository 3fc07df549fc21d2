#pragma once

class QMenu;

namespace korimbo {

// The menu every drop of files from a file manager opens, on the list and on the tree alike:
// "暗号化してコピーする(&C)", "暗号化して移動する(&M)", "キャンセル".
void AddEncryptDropEntries(QMenu& menu);
// True for the two entries that encrypt; `move` tells which.
bool IsEncryptDrop(int id, bool& move);
// The menu of items dragged inside the program: "ここにコピー(&C)", "ここに移動(&M)", "キャンセル".
void AddInsideDropEntries(QMenu& menu);
bool IsInsideDrop(int id, bool& move);

} // namespace korimbo
