#include "ui/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace vf {

int installJapaneseTranslations(QCoreApplication &app) {
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  int loaded = 0;
  for (const char *catalogue : {"qtbase_ja", "qtserialport_ja"}) {
    auto *translator = new QTranslator(&app);
    if (translator->load(QString::fromLatin1(catalogue), folder) && app.installTranslator(translator)) {
      ++loaded;
    } else {
      delete translator;
    }
  }
  return loaded;
}

}  // namespace vf
