// The window's look: the skin (a Qt style sheet beside the executable or in
// the installed data folder), the font and the window icon.
#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QString>

class QApplication;

namespace qf::shell {

inline const QString kSkinFileName = QStringLiteral("Skin.qss");

// The skin beside the program in `programDir` (as in the build folder), else
// the one in the data folder installed with it (PREFIX/share/quillframe);
// empty when neither exists, which keeps the system look.
QString FindSkin(const QString& programDir);

// Applies the style sheet in `path` to the whole application. A missing or
// unreadable file leaves the system look; returns whether a skin was applied.
bool LoadSkin(QApplication& app, const QString& path);

// Tahoma where it is installed, otherwise the best of the common sans fonts.
QFont WindowFont();

// The picture on the open button: a framed landscape with a plus badge.
QIcon OpenIcon(const QColor& colour);

enum class CommandGlyph { Back, Next, Save };

// A plain line glyph for the command bar, in two colours: enabled and not.
QIcon CommandIcon(CommandGlyph glyph, const QColor& colour, const QColor& disabled);

// The application icon from 16 to 256 pixels: the installed hicolor PNGs,
// built in as resources.
QIcon AppIcon();

} // namespace qf::shell
