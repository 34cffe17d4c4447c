#include "shell/appearance.h"

#include <QApplication>
#include <QColor>
#include <QFile>
#include <QFontDatabase>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace qf::shell {

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
    const QStringList wanted = {QStringLiteral("Tahoma"),    QStringLiteral("Segoe UI"),
                                QStringLiteral("Noto Sans"), QStringLiteral("Cantarell"),
                                QStringLiteral("Ubuntu"),    QStringLiteral("Roboto"),
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

namespace {

// A rounded page in the accent colour with a pencil drawing a wavy stroke:
// the program's job in one picture. Small sizes leave out the detail.
QPixmap DrawIcon(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;

    QLinearGradient page(0, 0, 0, s);
    page.setColorAt(0, QColor(0x4f, 0x7c, 0xf7));
    page.setColorAt(1, QColor(0x35, 0x4f, 0xc9));
    p.setPen(Qt::NoPen);
    p.setBrush(page);
    p.drawRoundedRect(QRectF(s * 0.04, s * 0.04, s * 0.92, s * 0.92), s * 0.2, s * 0.2);

    // The sketched stroke.
    QPainterPath stroke;
    stroke.moveTo(s * 0.16, s * 0.72);
    stroke.cubicTo(s * 0.30, s * 0.50, s * 0.40, s * 0.86, s * 0.56, s * 0.66);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, qMax(1.5, s * 0.07), Qt::SolidLine, Qt::RoundCap));
    p.drawPath(stroke);

    // The pencil, tilted, its tip at the end of the stroke.
    p.save();
    p.translate(s * 0.56, s * 0.66);
    p.rotate(-45);
    const qreal w = s * 0.15;
    const qreal tip = s * 0.14;
    const qreal body = s * 0.46;
    QPainterPath point;
    point.moveTo(0, 0);
    point.lineTo(tip, -w / 2);
    point.lineTo(tip, w / 2);
    point.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xff, 0xe0, 0xb2));
    p.drawPath(point);
    p.setBrush(QColor(0xff, 0xc1, 0x07));
    p.drawRect(QRectF(tip, -w / 2, body, w));
    if (size >= 32) {
        p.setBrush(QColor(0x26, 0x32, 0x38));
        QPainterPath lead;
        lead.moveTo(0, 0);
        lead.lineTo(tip * 0.35, -w * 0.175);
        lead.lineTo(tip * 0.35, w * 0.175);
        lead.closeSubpath();
        p.drawPath(lead);
        p.setBrush(QColor(0xf4, 0x8f, 0xb1));
        p.drawRect(QRectF(tip + body, -w / 2, s * 0.07, w));
    }
    p.restore();
    return pixmap;
}

} // namespace

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
            p.setPen(QPen(enabled ? colour : disabled, std::max(1.6, s / 10), Qt::SolidLine,
                          Qt::RoundCap, Qt::RoundJoin));
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
    QIcon icon;
    for (const int size : {16, 32, 48, 128, 256})
        icon.addPixmap(DrawIcon(size));
    return icon;
}

} // namespace qf::shell
