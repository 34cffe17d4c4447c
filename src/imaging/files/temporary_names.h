// The temporary files and folders that have names while this process works
// (where a file cannot be made without one, and the working folders of a
// run), kept in a fixed table so that a program that ends at once on a stop
// request can remove them from its signal watch, where nothing may allocate
// or take a lock. What the table cannot hold is removed by the next run.
#pragma once

#include <string>

namespace qf::imaging {

// Keeps path (a file, or a folder of files) for RemoveTemporaryNamesNow.
void RememberTemporaryName(const std::string& path, bool folder);
// Drops path from the table: it was renamed into place or removed.
void ForgetTemporaryName(const std::string& path);

// Keeps a folder this run made, held open as fd and named path, until
// ForgetMadeFolder(fd): RemoveTemporaryNamesNow removes the pictures (.png
// files) written into it, then the folder when nothing else is left in it
// and path still names it.
void RememberMadeFolder(int fd, const std::string& path);
void ForgetMadeFolder(int fd);

// Removes every path the table holds (a folder with the files in it, the
// latest first) using only calls that are safe in a signal handler. For
// the moment before the program ends.
void RemoveTemporaryNamesNow();

// Ends the program with status at once, from a signal watch: removes the
// temporary names, then leaves giving back the memory to a helper process
// that shares it and outlives the program. The system frees gigabytes held
// in small pages in half a second or more, and a process counts as ended
// only once its memory is free; so the helper frees it, after the program
// has ended. Safe in a signal handler.
[[noreturn]] void EndNow(int status);

} // namespace qf::imaging
