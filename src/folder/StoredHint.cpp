#include "folder/StoredHint.h"

#include "util/MessageNumbers.h"
#include "util/PathIdentity.h"

#include <QFileInfo>

namespace korimbo {

StoredHint ReadStoredHint(CCryptEngine& engine, const QString& path) {
    StoredHint result;
    switch (KindOf(path)) {
    case ItemKind::Folder:
        result.kind = StoredHint::Kind::kFolder;
        return result;
    case ItemKind::File:
        break;
    case ItemKind::Missing:
        return result;
    case ItemKind::Link:
    case ItemKind::Special:
        // A link is not followed, a pipe not opened: neither is a container here.
        result.kind = StoredHint::Kind::kNotContainer;
        return result;
    }
    ContainerInfo info;
    const std::optional<ContainerCheck> check = engine.CheckContainer(path, info, engine.BuiltInKeyName(), false);
    if (!check)
        return result;
    if (check->status == kNotContainer) {
        result.kind = StoredHint::Kind::kNotContainer;
        return result;
    }
    result.kind = StoredHint::Kind::kHint;
    result.hint = info.header.Hint();
    while (!result.hint.isEmpty() && result.hint.back().isSpace())
        result.hint.chop(1);
    return result;
}

QString StoredHintLine(MessageSource& messages, const QString& path, const StoredHint& hint) {
    QString text;
    switch (hint.kind) {
    case StoredHint::Kind::kHint:
        text = hint.hint.isEmpty() ? messages.MsgA(msg::kHintEmpty) : hint.hint;
        break;
    case StoredHint::Kind::kNotContainer:
        text = messages.MsgA(msg::kHintNotContainer);
        break;
    case StoredHint::Kind::kUnreadable:
        text = messages.MsgA(msg::kHintUnreadable);
        break;
    case StoredHint::Kind::kFolder:
        text = messages.MsgA(msg::kHintOfFolder);
        break;
    }
    return QFileInfo(path).fileName() + QStringLiteral("：\u3000") + text;
}

} // namespace korimbo
