#pragma once

class QCoreApplication;

namespace vf {

// Qt's own texts (the file dialog's "開く", the serial port's error reasons)
// in Japanese, like every caption of the program, whatever the system's
// language. Loads Qt's Japanese translations where they are installed (on
// Debian: qt6-translations-l10n); without them Qt's texts stay English.
// Returns how many of the translations were loaded.
int installJapaneseTranslations(QCoreApplication &app);

}  // namespace vf
