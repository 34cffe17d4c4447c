// The file names Save offers and writes.
#pragma once

#include <QString>

namespace qf::shell {

// "<source name>-<variant name>.gif" in the source's folder, the variant's
// name in lower case with hyphens between its words, e.g.
// "/photos/cat-pencil-on-paper.gif" for variant 2 of "/photos/cat.gif".
QString SuggestedSaveName(const QString& sourcePath, int variant);

enum class SaveFormat { Gif, Webp, Mp4, Webm };

// What a save writes: a name ending in ".gif", ".webp", ".mp4" or ".webm"
// (in any case) says so; any other name gets the file type chosen in the
// dialog.
SaveFormat SaveFormatFor(const QString& path, SaveFormat chosen);

// The path with the format's extension (".gif", ".webp", ...) added when its
// file name has no extension; any other path as it is.
QString WithExtension(const QString& path, SaveFormat format);

} // namespace qf::shell
