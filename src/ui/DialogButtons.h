#pragma once

class QDialog;
class QHBoxLayout;
class QPushButton;

namespace korimbo {

// The row of OK and (optional) Cancel at the foot of the program's dialogs: OK is the default button and
// accepts, Cancel rejects. Right-aligned, or centred where a dialog wants a lone OK in the middle.
QHBoxLayout* ButtonRow(QDialog& dialog, QPushButton* ok, QPushButton* cancel, bool centred = false);

} // namespace korimbo
