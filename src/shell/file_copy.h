// Copies a finished result to where the user saves it.
#pragma once

#include <QString>

namespace qf::shell {

// Copies source to destination in one step: the bytes go to a new file beside
// the destination that then replaces it, so a failure (missing source, folder
// not writable, disk full) never leaves a half-written file or destroys the
// file that was there. The destination path is used exactly as given. On
// failure *error says what went wrong, naming the file.
bool CopyFileAtomically(const QString& source, const QString& destination, QString* error);

} // namespace qf::shell
