// The one rule for every path this program writes or deletes: an output
// file, a folder named on the command line, a folder made per input, a
// surplus frame. Links are followed as the system follows them, except a
// link owned by another user (root aside) in a folder that someone other
// than the user can write: whoever can write that folder could have planted
// it to make this program overwrite or delete a file of the user's.
#pragma once

#include "imaging/image.h"

#include <string>

namespace qf::imaging {

// The file that writing `destination` replaces or creates, in *target, with
// every link on the way resolved under the rule above (a dangling link
// names the file it would name, which is then created). Anything that is
// not a plain file (a folder, a pipe, a device) is refused too, as is an
// empty name. Errors (Unwritable) name `destination` and say why.
bool ResolveOutputFile(const std::string& destination, std::string* target, Error* error);

// A folder that results are written into, checked by the same rule and
// made (with its parents) when missing.
struct OutputFolder {
    std::string path;           // as the caller named it
    bool madeByThisRun = false; // it did not exist before
};
bool OpenOutputFolder(const std::string& path, OutputFolder* folder, Error* error);

// Removes the plain file `name` from folder (never a link's target), and
// only from a folder this run made or the user owns; elsewhere nothing is
// removed and true is returned. A file that is already gone is no error.
bool RemoveFromOutputFolder(const OutputFolder& folder, const std::string& name, Error* error);

// A name for a folder made after a file's name: never "", "." or "..",
// which would name the folder it goes in or the one above; those get a
// leading "_".
std::string FolderNameFor(const std::string& name);

// Whether a and b name one existing file (the same device and inode, links
// followed).
bool SameFile(const std::string& a, const std::string& b);

} // namespace qf::imaging
