// The window's language: its own translations and Qt's translations of the
// standard dialogs, in the user's language (LANGUAGE, LC_ALL, LC_MESSAGES,
// LANG), when one exists.
#pragma once

#include <QString>

#include <memory>

class QCoreApplication;
class QLocale;
class QTranslator;

namespace qf::shell {

// The folder of the window's translations: "translations" beside the program
// in `programDir` (as in the build folder), else in the data folder installed
// with it (PREFIX/share/quillframe/translations); empty when neither exists.
QString FindTranslations(const QString& programDir);

// The window's translations from `folder` for `locale`: that language's,
// else English, which holds the plural forms of the texts ("1 frame", not
// "1 frames"); null when the folder has neither. *ownLanguage tells whether
// the language's own were found.
std::unique_ptr<QTranslator> LoadWindowTranslations(const QLocale& locale, const QString& folder,
                                                    bool* ownLanguage);

// Installs the window's translations from `folder` for the user's language
// (else English), and Qt's own. Returns whether one in the user's language
// was found; English otherwise.
bool InstallTranslations(QCoreApplication& app, const QString& folder);

} // namespace qf::shell
