// Replacing a file in one step: write beside it, then rename over it, so a
// failure never leaves a half-written file or destroys the previous one.
#pragma once

#include "imaging/files/output_paths.h"
#include "imaging/image.h"

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace qf::imaging {

// Removes the temporary files and folders that runs of this program left in
// folder when they were killed: those of its own naming, owned by the user,
// whose process is gone. Those of live processes and all others stay.
void RemoveStaleTemporaryFiles(const std::string& folder);

// The folder for temporary files: TMPDIR where it is set, else /tmp. Fails
// naming it when it is no folder (a TMPDIR left over from a removed one); a
// folder that takes no files is named by the error of the first one made.
bool TemporaryFolder(std::string* folder, Error* error);

// Makes a new folder in parent that only the user can enter, named as this
// program's temporary files are (after stem), so that once this process is
// gone a later run removes it with everything in it; *made names it.
bool MakeTemporaryFolder(const std::string& parent, const std::string& stem, std::string* made, Error* error);
// Removes a folder MakeTemporaryFolder made, with everything in it.
void RemoveTemporaryFolder(const std::string& folder);

// A new version of a file, written to a temporary file in the destination's
// folder and moved over the destination by commit(). Until then the
// destination is untouched; discard(), a failed commit() and the destructor
// remove the temporary file. Where the file system allows it the temporary
// file has no name until commit(), so a killed process leaves nothing behind.
// The new file keeps the permission bits (and the group, where allowed) of
// the one it replaces.
class AtomicFile {
public:
    AtomicFile();
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    AtomicFile(AtomicFile&&) noexcept;
    AtomicFile& operator=(AtomicFile&&) noexcept;

    // Resolves destination (see ResolveOutputFile) and creates the temporary
    // file. Fails (Unwritable) when the folder is missing or not writable.
    bool open(const std::string& destination, Error* error);
    // The same for the file `name` in a held folder, written and moved into
    // place through the folder's descriptor (see OutputFolder::entry).
    // Errors name folder.path/name.
    bool open(const OutputFolder& folder, const std::string& name, Error* error);

    // Appends bytes; fails (Unwritable) on a write error such as a full disk.
    bool write(const void* data, std::size_t size, Error* error);

    // The open temporary file, for libraries that write through a FILE*.
    // Write errors made through it are found by commit().
    std::FILE* stream() const;

    // Flushes the data to disk and moves the temporary file over the
    // destination. On failure the temporary file is removed.
    bool commit(Error* error);

    // Commits files in order, their data put on disk together first, which
    // is much quicker than one by one. Stops at the first failure; the files
    // not committed then are discarded.
    static bool commitAll(std::vector<AtomicFile>& files, Error* error);

    // Closes and removes the temporary file; the destination stays as it was.
    void discard();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace qf::imaging
