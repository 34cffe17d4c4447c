// The file names Save offers and writes.
#pragma once

#include <QString>

namespace qf::shell {

// "<source name>-<variant name>.gif" in the source's folder, the variant's
// name in lower case with hyphens between its words, e.g.
// "/photos/cat-pencil-on-paper.gif" for variant 2 of "/photos/cat.gif".
QString SuggestedSaveName(const QString& sourcePath, int variant);

// The path with ".gif" added when its file name has no extension; any other
// path as it is.
QString WithGifExtension(const QString& path);

} // namespace qf::shell
