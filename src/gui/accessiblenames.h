#pragma once

class QWidget;

namespace AccessibleNames {

// Names the icon-only buttons that Qt adds of its own below root, which a screen reader
// would otherwise announce as a bare "button": the clear buttons of line edits
// (clearButtonEnabled) and the menu bar's button for the menus that do not fit.
void nameQtButtons(QWidget* root);

} // namespace AccessibleNames
