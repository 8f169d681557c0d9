#pragma once

#include <QString>

class QTranslator;

namespace Translation {

// Loads the program's translation file at path into translator and installs it in the
// application, then Qt's own translation of the same language (the buttons of standard
// dialogs, the command-line parser's headings) when the system has one. False, and the
// built-in English stays, when path is empty or holds no translation. Needs the
// application object; Qt's translator is its child.
bool install(QTranslator* translator, const QString& path);

} // namespace Translation
