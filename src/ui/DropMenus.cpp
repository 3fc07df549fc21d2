#include "ui/DropMenus.h"

#include "ui/CommandIds.h"

#include <QMenu>

namespace korimbo {

void AddEncryptDropEntries(QMenu& menu) {
    menu.addAction(QStringLiteral("暗号化してコピーする(&C)"))->setData(cmd::DropEncryptCopy);
    menu.addAction(QStringLiteral("暗号化して移動する(&M)"))->setData(cmd::DropEncryptMove);
    menu.addSeparator();
    menu.addAction(QStringLiteral("キャンセル"))->setData(cmd::DropCancel);
}

bool IsEncryptDrop(int id, bool& move) {
    move = id == cmd::DropEncryptMove;
    return id == cmd::DropEncryptCopy || id == cmd::DropEncryptMove;
}

} // namespace korimbo
