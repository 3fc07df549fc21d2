#include "ui/DropMenus.h"

#include "ui/CommandIds.h"

#include <QMenu>

namespace korimbo {

void AddEncryptDropEntries(QMenu& menu) {
    menu.addAction(QStringLiteral("暗号化してコピーする(&C)"))->setData(cmd::DropEncryptCopy);
    menu.addAction(QStringLiteral("暗号化して移動する(&M)"))->setData(cmd::DropEncryptMove);
    menu.addSeparator();
    menu.addAction(QStringLiteral("キャンセル(&N)"))->setData(cmd::DropCancel);
}

bool IsEncryptDrop(int id, bool& move) {
    move = id == cmd::DropEncryptMove;
    return id == cmd::DropEncryptCopy || id == cmd::DropEncryptMove;
}

void AddInsideDropEntries(QMenu& menu) {
    menu.addAction(QStringLiteral("ここにコピー(&C)"))->setData(cmd::DropInsideCopy);
    menu.addAction(QStringLiteral("ここに移動(&M)"))->setData(cmd::DropInsideMove);
    menu.addSeparator();
    menu.addAction(QStringLiteral("キャンセル(&N)"))->setData(cmd::DropCancel);
}

bool IsInsideDrop(int id, bool& move) {
    move = id == cmd::DropInsideMove;
    return id == cmd::DropInsideCopy || id == cmd::DropInsideMove;
}

} // namespace korimbo
