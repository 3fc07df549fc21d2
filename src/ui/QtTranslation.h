#pragma once

#include <QString>

namespace korimbo {

// Qt's own texts (the file dialog's labels, the standard buttons, the line editor's menu) in Japanese, as
// the rest of the window: from the bundle's translations/ folder, else from the system's Qt. False when
// neither has them; the program then runs with Qt's English texts.
bool InstallQtTranslation(const QString& programFolder);

} // namespace korimbo
