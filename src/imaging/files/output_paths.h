// The one rule for every path this program writes or deletes: an output
// file, a folder named on the command line, a folder made per input, a
// surplus frame. Links are followed as the system follows them, except a
// link owned by another user (root aside) in a folder that someone other
// than the user can write: whoever can write that folder could have planted
// it to make this program overwrite or delete a file of the user's.
#pragma once

#include "imaging/image.h"

#include <functional>
#include <memory>
#include <string>

namespace qf::imaging {

// The file that writing `destination` replaces or creates, in *target, with
// every link on the way resolved under the rule above (a dangling link
// names the file it would name, which is then created). Anything that is
// not a plain file (a folder, a pipe, a device) is refused too, as is an
// empty name. Errors (Unwritable) name `destination` and say why.
bool ResolveOutputFile(const std::string& destination, std::string* target, Error* error);

// A folder that results are written into, checked by the same rule and
// made (with its parents) when missing, then held open: every file is
// written, replaced and removed through the open folder, never by walking
// its name again, so a folder renamed or swapped for a link after the
// check cannot lead a single write elsewhere.
struct OutputFolder {
    std::string path;                // as the caller named it
    bool madeByThisRun = false;      // it did not exist before
    std::shared_ptr<const int> held; // the open folder's descriptor

    // The path of the entry `name` of the held folder, through its
    // descriptor (/proc/self/fd/N/name): the system goes straight to the
    // folder held, whatever its name now leads to. The entry itself, when
    // it is a link, is replaced rather than followed.
    std::string entry(const std::string& name) const;
    // path/name, for messages.
    std::string shown(const std::string& name) const;
};
bool OpenOutputFolder(const std::string& path, OutputFolder* folder, Error* error);
// The folder `name` inside the held folder parent, made when missing; a
// link there is followed under the rule above.
bool OpenOutputFolder(const OutputFolder& parent, const std::string& name, OutputFolder* folder,
                      Error* error);

// Removes the plain file `name` from folder (never a link's target), and
// only from a folder this run made or the user owns; elsewhere nothing is
// removed and true is returned. A file that is already gone is no error.
bool RemoveFromOutputFolder(const OutputFolder& folder, const std::string& name, Error* error);

// For a folder this run made, after a failure: removes the plain files
// `ours` names (what the run wrote) and then the folder, when nothing else
// is left in it. A folder the run did not make is left as it is.
void RemoveMadeFolder(const OutputFolder& folder, const std::function<bool(const std::string&)>& ours);

// A name for a folder made after a file's name: never "", "." or "..",
// which would name the folder it goes in or the one above; those get a
// leading "_".
std::string FolderNameFor(const std::string& name);

// Whether a and b name one existing file (the same device and inode, links
// followed).
bool SameFile(const std::string& a, const std::string& b);

} // namespace qf::imaging
