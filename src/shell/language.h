// The window's language: its own translations and Qt's translations of the
// standard dialogs, in the user's language (LANGUAGE, LC_ALL, LC_MESSAGES,
// LANG), when one exists.
#pragma once

#include <QString>

class QCoreApplication;

namespace qf::shell {

// The folder of the window's translations: "translations" beside the program
// in `programDir` (as in the build folder), else in the data folder installed
// with it (PREFIX/share/quillframe/translations); empty when neither exists.
QString FindTranslations(const QString& programDir);

// Installs the translations from `folder` for the user's language, and Qt's
// own. Returns whether one of the window's own was found; English otherwise.
bool InstallTranslations(QCoreApplication& app, const QString& folder);

} // namespace qf::shell
