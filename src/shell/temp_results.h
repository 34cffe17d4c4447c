// The folder and names of the 17 temporary result files, one per effect
// variant: "qfTmp$_" + variant + ".gif". A converted variant stays in its file
// until the next successful open or the end of the program, so going back and
// forth between choosing and viewing never converts the same variant twice.
//
// The files live in a private folder inside the system temporary folder,
// "quillframe-<user id>", mode 0700 and owned by the user: in a temporary
// folder shared by all users, fixed names would let anyone plant a link or a
// file of the same name. A folder of that name that is not a plain directory
// owned by the user is never used; a fresh randomly named one takes its place.
#pragma once

#include "imaging/image.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace qf::shell {

// Makes `path` a folder only the user can enter (mode 0700), or checks that
// the one already there is exactly that: a plain folder, not a link, owned by
// the user. False, with the reason in *error, for anything else.
bool MakePrivateFolder(const QString& path, imaging::Error* error);

// "quillframe-<user id>": the name of the user's private folder inside the
// system temporary folder.
QString PrivateFolderName();

class TempResults {
public:
    // Creates (or takes over) the private folder inside `systemTemp` and fixes
    // the 17 names. A file left there by an earlier run is deleted.
    explicit TempResults(const QString& systemTemp);
    ~TempResults();
    TempResults(const TempResults&) = delete;
    TempResults& operator=(const TempResults&) = delete;

    // False when no private folder could be made; error() says why.
    bool isUsable() const { return !folder_.isEmpty(); }
    imaging::Error error() const { return error_; }

    // The private folder, ending in a separator.
    QString folder() const { return folder_; }
    // The result file of variant v (0 to 16).
    QString file(int variant) const { return files_.value(variant); }

    // Deletes the 17 files, and the temporary files of writers that were
    // killed; a file that is missing or cannot be deleted is passed over.
    void clear();

    // Deletes the 17 files and the folder itself when nothing else is in it.
    void removeAll();

private:
    QString folder_;
    QStringList files_;
    imaging::Error error_;
    std::unique_ptr<QTemporaryDir> fallback_;
};

} // namespace qf::shell
