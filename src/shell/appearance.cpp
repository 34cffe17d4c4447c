#include "shell/appearance.h"

#include <QApplication>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

// The icon's resources sit in this static library, so they are registered
// by hand (outside any namespace, as Qt requires).
static void RegisterIconResources()
{
    Q_INIT_RESOURCE(app_icon);
}

namespace qf::shell {

QString FindSkin(const QString& programDir)
{
    const QDir dir(programDir);
    for (const QString& path :
         {dir.filePath(kSkinFileName), dir.filePath(QStringLiteral(QF_DATA_FROM_BIN "/") + kSkinFileName)})
        if (QFileInfo::exists(path))
            return QDir::cleanPath(path);
    return {};
}

bool LoadSkin(QApplication& app, const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    const QString sheet = QString::fromUtf8(file.readAll());
    if (file.error() != QFileDevice::NoError || sheet.trimmed().isEmpty())
        return false;
    app.setStyleSheet(sheet);
    return true;
}

QFont WindowFont()
{
    QFont font = QApplication::font();
    const QStringList wanted = {QStringLiteral("Tahoma"),     QStringLiteral("Segoe UI"),
                                QStringLiteral("Noto Sans"),  QStringLiteral("Cantarell"),
                                QStringLiteral("Ubuntu"),     QStringLiteral("Roboto"),
                                QStringLiteral("DejaVu Sans")};
    const QStringList installed = QFontDatabase::families();
    QStringList families;
    for (const QString& family : wanted)
        if (installed.contains(family, Qt::CaseInsensitive))
            families.append(family);
    if (!families.isEmpty()) {
        font.setFamily(families.first());
        font.setFamilies(families);
    }
    return font;
}

QIcon OpenIcon(const QColor& colour)
{
    QIcon icon;
    for (const int size : {32, 48, 64, 96}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal s = size;
        const qreal line = std::max(1.5, s / 16);
        // A picture frame with hills and a sun, and a plus badge.
        const QRectF frame(s * 0.08, s * 0.16, s * 0.72, s * 0.60);
        p.setPen(QPen(colour, line, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(frame, s * 0.08, s * 0.08);
        QPainterPath hills;
        hills.moveTo(frame.left() + line, frame.bottom() - s * 0.06);
        hills.lineTo(frame.left() + frame.width() * 0.35, frame.top() + frame.height() * 0.45);
        hills.lineTo(frame.left() + frame.width() * 0.55, frame.top() + frame.height() * 0.70);
        hills.lineTo(frame.left() + frame.width() * 0.72, frame.top() + frame.height() * 0.55);
        hills.lineTo(frame.right() - line, frame.bottom() - s * 0.06);
        p.drawPath(hills);
        p.setBrush(colour);
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(frame.left() + frame.width() * 0.70, frame.top() + frame.height() * 0.28),
                      s * 0.055, s * 0.055);
        const QPointF badge(s * 0.76, s * 0.74);
        p.setBrush(colour);
        p.drawEllipse(badge, s * 0.20, s * 0.20);
        p.setPen(QPen(Qt::white, line * 1.1, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(badge + QPointF(-s * 0.09, 0), badge + QPointF(s * 0.09, 0));
        p.drawLine(badge + QPointF(0, -s * 0.09), badge + QPointF(0, s * 0.09));
        icon.addPixmap(pixmap);
    }
    return icon;
}

QIcon CommandIcon(CommandGlyph glyph, const QColor& colour, const QColor& disabled)
{
    QIcon icon;
    for (const int size : {16, 20, 24, 32}) {
        for (const bool enabled : {true, false}) {
            QPixmap pixmap(size, size);
            pixmap.fill(Qt::transparent);
            QPainter p(&pixmap);
            p.setRenderHint(QPainter::Antialiasing);
            const qreal s = size;
            p.setPen(QPen(enabled ? colour : disabled, std::max(1.6, s / 10), Qt::SolidLine, Qt::RoundCap,
                          Qt::RoundJoin));
            p.setBrush(Qt::NoBrush);
            QPainterPath path;
            switch (glyph) {
            case CommandGlyph::Back:
                path.moveTo(s * 0.80, s * 0.50);
                path.lineTo(s * 0.22, s * 0.50);
                path.moveTo(s * 0.46, s * 0.24);
                path.lineTo(s * 0.20, s * 0.50);
                path.lineTo(s * 0.46, s * 0.76);
                break;
            case CommandGlyph::Next:
                path.moveTo(s * 0.20, s * 0.50);
                path.lineTo(s * 0.78, s * 0.50);
                path.moveTo(s * 0.54, s * 0.24);
                path.lineTo(s * 0.80, s * 0.50);
                path.lineTo(s * 0.54, s * 0.76);
                break;
            case CommandGlyph::Save:
                path.moveTo(s * 0.50, s * 0.14);
                path.lineTo(s * 0.50, s * 0.62);
                path.moveTo(s * 0.28, s * 0.42);
                path.lineTo(s * 0.50, s * 0.64);
                path.lineTo(s * 0.72, s * 0.42);
                path.moveTo(s * 0.18, s * 0.70);
                path.lineTo(s * 0.18, s * 0.84);
                path.lineTo(s * 0.82, s * 0.84);
                path.lineTo(s * 0.82, s * 0.70);
                break;
            }
            p.drawPath(path);
            p.end();
            icon.addPixmap(pixmap, enabled ? QIcon::Normal : QIcon::Disabled);
        }
    }
    return icon;
}

QIcon AppIcon()
{
    static const bool registered = (RegisterIconResources(), true);
    Q_UNUSED(registered);
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/hicolor/%1x%1/apps/quillframe.png").arg(size),
                     QSize(size, size));
    return icon;
}

} // namespace qf::shell
