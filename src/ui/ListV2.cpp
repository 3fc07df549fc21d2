#include "ui/ListV2.h"

namespace korimbo {

CListV2::CListV2(QWidget* parent) : QTreeWidget(parent) {
    setObjectName(QStringLiteral("CListV2"));
    setHeaderLabels({QStringLiteral("復号中のファイル")});
    setRootIsDecorated(false);
    setFocusPolicy(Qt::StrongFocus);
}

} // namespace korimbo
