#include "shell/appearance.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

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
    if (!families.isEmpty())
        font.setFamilies(families);
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

QIcon AppIcon()
{
    QIcon icon;
    for (const int size : {16, 32, 48, 128, 256})
        icon.addPixmap(DrawIcon(size));
    return icon;
}

} // namespace qf::shell
