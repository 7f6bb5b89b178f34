#pragma once
// Qt's own Polish texts: the standard file dialogs, their buttons and the
// context menus of edit boxes, from the qtbase translation installed with Qt.

class QApplication;

namespace kx::desktop {

// Installs Qt's Polish translation (qtbase_pl.qm from Qt's translations
// folder) on the application, once; false when the file cannot be loaded,
// and the standard dialogs then stay English.
bool LoadPolishTranslations(QApplication& app);

}  // namespace kx::desktop
