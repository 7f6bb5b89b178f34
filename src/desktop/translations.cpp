#include "translations.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace kx::desktop {

bool LoadPolishTranslations(QApplication& app) {
  static const QString kName = QStringLiteral("PolishQtTranslator");
  if (app.findChild<QTranslator*>(kName, Qt::FindDirectChildrenOnly)) return true;
  auto* translator = new QTranslator(&app);
  translator->setObjectName(kName);
  if (!translator->load(QStringLiteral("qtbase_pl"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
      !QApplication::installTranslator(translator)) {
    delete translator;
    return false;
  }
  return true;
}

}  // namespace kx::desktop
