// Building the Error values every imaging call reports.
#pragma once

#include "imaging/image.h"

#include <string>

namespace qf::imaging {

// Stores an error of the given kind for file in *error (when error is not
// null) and returns false, so a failing path reads `return Fail(...)`.
bool Fail(Error* error, ErrorKind kind, const std::string& file, std::string reason);

// Fail with ErrorKind::OutOfMemory: the work needs more memory than is free.
bool FailOutOfMemory(Error* error, const std::string& file);

// The error an exception stands for, caught while working on file: call it
// inside a catch block. Running out of memory is OutOfMemory; any other
// exception is a fault of this program (Internal) with the exception's own
// words, and blames neither the file nor the destination.
Error CaughtError(const std::string& file);

// The system's words for errno value code, e.g. "Permission denied".
std::string SystemReason(int code);

// Why writing failed with errno value code: "the disk is full" for a full
// disk or an exhausted quota, "cannot be written (<system's words>)" else.
std::string WriteReason(int code);

// The text with control characters (newline, escape ...) shown as \n, \t
// or \xNN, so a file name in a message cannot move the cursor, clear the
// screen or fake a line of its own.
std::string Printable(const std::string& name);

} // namespace qf::imaging
