// Replacing a file in one step: write beside it, then rename over it, so a
// failure never leaves a half-written file or destroys the previous one.
#pragma once

#include "image.h"

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>

namespace qf::imaging {

// Copies source to destination atomically, replacing an existing file.
bool CopyFileAtomically(const std::string& source, const std::string& destination, Error* error);

// A new version of a file, written to a temporary file in the destination's
// folder and moved over the destination by commit(). Until then the
// destination is untouched; discard(), a failed commit() and the destructor
// remove the temporary file.
class AtomicFile {
public:
    AtomicFile();
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file. Fails (Unwritable) when the folder is
    // missing or not writable, or when the destination is a folder.
    bool open(const std::string& destination, Error* error);

    // Appends bytes; fails (Unwritable) on a write error such as a full disk.
    bool write(const void* data, std::size_t size, Error* error);

    // The open temporary file, for libraries that write through a FILE*.
    // Write errors made through it are found by commit().
    std::FILE* stream() const;

    // Flushes the data to disk and renames the temporary file over the
    // destination. On failure the temporary file is removed.
    bool commit(Error* error);

    // Closes and removes the temporary file; the destination stays as it was.
    void discard();

    bool isOpen() const;
    const std::string& destination() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace qf::imaging
