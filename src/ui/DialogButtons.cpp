#include "ui/DialogButtons.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>

namespace korimbo {

QHBoxLayout* ButtonRow(QDialog& dialog, QPushButton* ok, QPushButton* cancel, bool centred) {
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(ok);
    if (cancel) {
        QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
        row->addWidget(cancel);
    }
    if (centred)
        row->addStretch(1);
    return row;
}

} // namespace korimbo
