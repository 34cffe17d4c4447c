#include "shell/snapshot_list.h"

#include "engine/variants.h"
#include "shell/table_text.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStyledItemDelegate>

namespace qf::shell {

ImageList::ImageList(QSize thumbnailSize, QObject* parent) : QObject(parent), size_(thumbnailSize)
{}

void ImageList::add(const QImage& picture)
{
    pictures_.append(picture);
    pixmaps_.append(Thumbnail(picture, size_));
}

void ImageList::clear()
{
    pictures_.clear();
    pixmaps_.clear();
}

void ImageList::setThumbnailSize(QSize size)
{
    if (size == size_)
        return;
    size_ = size;
    for (qsizetype i = 0; i < pictures_.size(); ++i)
        pixmaps_[i] = Thumbnail(pictures_[i], size_);
}

QPixmap ImageList::Thumbnail(const QImage& picture, QSize box)
{
    QPixmap canvas(box);
    canvas.fill(Qt::transparent);
    if (picture.isNull())
        return canvas;
    // The picture fills the box, which has its shape up to 3:1; a longer
    // strip shows its middle rather than shrinking to a line. Shrinking
    // smooths; enlarging a tiny GIF keeps its pixels crisp so the strokes of
    // the effect stay visible.
    const QSize filled = picture.size().scaled(box, Qt::KeepAspectRatioByExpanding);
    const bool shrink = filled.width() < picture.width();
    const QImage scaled = picture.scaled(filled, Qt::IgnoreAspectRatio,
                                         shrink ? Qt::SmoothTransformation : Qt::FastTransformation);
    QPainter painter(&canvas);
    painter.drawImage(0, 0, scaled, (scaled.width() - box.width()) / 2, (scaled.height() - box.height()) / 2,
                      box.width(), box.height());
    return canvas;
}

namespace {

constexpr int kPadding = 7;      // between the card's edge and the thumbnail
constexpr int kCaptionLines = 2; // a long name wraps onto a second line
constexpr int kGap = 8;          // between cards
constexpr int kCaptionRole = Qt::UserRole + 1;

// Draws each snapshot as a card: the thumbnail with its check box in the
// corner and the variant's name below. The ticked card carries the accent
// colour, so the choice shows at a glance without any selection highlight.
class SnapshotDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static QFont captionFont(const QFont& base, bool ticked)
    {
        QFont font = base;
        font.setPointSizeF(font.pointSizeF() * 0.92);
        font.setWeight(ticked ? QFont::DemiBold : QFont::Normal);
        return font;
    }

    int captionHeight() const
    {
        const QFontMetrics metrics(captionFont(font_, true));
        return kCaptionLines * metrics.lineSpacing() + 4;
    }

    QSize cardSize(const QSize& icon) const
    {
        return {icon.width() + 2 * kPadding, icon.height() + 2 * kPadding + captionHeight()};
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override
    {
        return cardSize(option.decorationSize);
    }

    // The list's font, which sizes the captions.
    void setFont(const QFont& font) { font_ = font; }

    QRect card(const QStyleOptionViewItem& option) const
    {
        QRect rect(QPoint(), cardSize(option.decorationSize));
        rect.moveCenter(option.rect.center());
        return rect;
    }

    QRect thumbnail(const QStyleOptionViewItem& option) const
    {
        const QRect c = card(option);
        return {c.left() + kPadding, c.top() + kPadding, option.decorationSize.width(),
                option.decorationSize.height()};
    }

    QRect checkRect(const QStyleOptionViewItem& option) const
    {
        // Below the picture, before the name, so it covers nothing.
        const QRect t = thumbnail(option);
        return {t.left(), t.bottom() + 5, 18, 18};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const bool ticked = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
        const bool hovered = option.state & QStyle::State_MouseOver;
        const QPalette& palette = option.palette;
        const QColor accent = palette.color(QPalette::Highlight);

        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);

        const QRectF frame = QRectF(card(option)).adjusted(0.5, 0.5, -0.5, -0.5);
        QColor fill = palette.color(QPalette::Base);
        if (ticked)
            fill = QColor::fromRgbF(accent.redF() * 0.12 + 0.88, accent.greenF() * 0.12 + 0.88,
                                    accent.blueF() * 0.12 + 0.88);
        QColor border = palette.color(QPalette::Mid).lighter(125);
        if (hovered)
            border = accent.lighter(140);
        if (ticked)
            border = accent;
        painter->setPen(QPen(border, ticked ? 2 : 1));
        painter->setBrush(fill);
        painter->drawRoundedRect(ticked ? frame.adjusted(0.5, 0.5, -0.5, -0.5) : frame, 8, 8);

        // The card the keyboard is on carries a ring outside its border.
        if ((option.state & QStyle::State_HasFocus) && (option.state & QStyle::State_Active)) {
            painter->setPen(QPen(accent, 2, Qt::DotLine));
            painter->setBrush(Qt::NoBrush);
            painter->drawRoundedRect(frame.adjusted(-3, -3, 3, 3), 10, 10);
        }

        const QIcon icon = qvariant_cast<QIcon>(index.data(Qt::DecorationRole));
        const QRect picture = thumbnail(option);
        icon.paint(painter, picture, Qt::AlignCenter);

        // The check box, drawn in the card's own style.
        const QRectF box = QRectF(checkRect(option)).adjusted(0.5, 0.5, -0.5, -0.5);
        painter->setPen(QPen(ticked ? accent.darker(110) : QColor(40, 48, 64, 190), 1.2));
        painter->setBrush(ticked ? accent : QColor(255, 255, 255, 240));
        painter->drawRoundedRect(box, 4, 4);
        if (ticked) {
            QPainterPath mark;
            mark.moveTo(box.left() + box.width() * 0.25, box.top() + box.height() * 0.52);
            mark.lineTo(box.left() + box.width() * 0.43, box.top() + box.height() * 0.70);
            mark.lineTo(box.left() + box.width() * 0.76, box.top() + box.height() * 0.32);
            painter->setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            painter->setBrush(Qt::NoBrush);
            painter->drawPath(mark);
        }

        const QRect caption(picture.left() + 22, picture.bottom() + 5, picture.width() - 22, captionHeight());
        const QFont font = captionFont(option.font, ticked);
        painter->setFont(font);
        painter->setPen(ticked ? accent.darker(125) : palette.color(QPalette::Text));
        painter->drawText(caption, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                          WrappedName(index.data(kCaptionRole).toString(), font, caption.width()));
        painter->restore();
    }

    // A click on the check box, or Space, toggles the check mark; the list
    // then turns the change into its one-ticked rule.
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override
    {
        if (!(index.flags() & Qt::ItemIsUserCheckable))
            return false;
        bool toggle = false;
        if (event->type() == QEvent::MouseButtonRelease) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            toggle =
                mouse->button() == Qt::LeftButton && checkRect(option).contains(mouse->position().toPoint());
        } else if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            toggle = key == Qt::Key_Space || key == Qt::Key_Select;
        }
        if (!toggle)
            return false;
        const bool ticked = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
        return model->setData(index, ticked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
    }

private:
    // The name broken into at most two lines of the width; only a name that
    // needs more loses the end of its second line.
    static QString WrappedName(const QString& name, const QFont& font, int width)
    {
        const QFontMetrics metrics(font);
        if (metrics.horizontalAdvance(name) <= width)
            return name;
        const QStringList words = name.split(u' ', Qt::SkipEmptyParts);
        QString first;
        int used = 0;
        for (; used < words.size(); ++used) {
            const QString longer = first.isEmpty() ? words[used] : first + u' ' + words[used];
            if (!first.isEmpty() && metrics.horizontalAdvance(longer) > width)
                break;
            first = longer;
        }
        const QString rest = words.mid(used).join(u' ');
        return metrics.elidedText(first, Qt::ElideRight, width) + u'\n'
               + metrics.elidedText(rest, Qt::ElideRight, width);
    }

    QFont font_;
};

QString VariantText(std::string_view text)
{
    return TableText("qf::Variants", text);
}

} // namespace

SnapshotList::SnapshotList(QWidget* parent) : QListWidget(parent)
{
    setViewMode(QListView::IconMode);
    setFlow(QListView::LeftToRight);
    setWrapping(true);
    setResizeMode(QListView::Adjust);
    setMovement(QListView::Static);
    setSelectionMode(QAbstractItemView::NoSelection);
    setUniformItemSizes(true);
    setMouseTracking(true);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setViewportMargins(kGap / 2, kGap, kGap / 2, 0);
    auto* delegate = new SnapshotDelegate(this);
    delegate->setFont(font());
    setItemDelegate(delegate);

    // Both the click on an item and the toggle of its check box end in the
    // same place: exactly that item ticked.
    connect(this, &QListWidget::itemClicked, this, &SnapshotList::onItemEvent);
    connect(this, &QListWidget::itemChanged, this, &SnapshotList::onItemEvent);
}

void SnapshotList::showSnapshots(ImageList& images)
{
    images_ = &images;
    updating_ = true;
    clear();
    setIconSize(images.thumbnailSize());
    for (int i = 0; i < images.count(); ++i) {
        auto* item = new QListWidgetItem(QIcon(images.pixmap(i)), QString());
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
        if (i < kVariantCount) {
            const VariantInfo& variant = kVariants[static_cast<std::size_t>(i)];
            item->setData(kCaptionRole, VariantText(variant.name));
            item->setToolTip(QStringLiteral("<b>%1</b><br>%2")
                                 .arg(VariantText(variant.name).toHtmlEscaped(),
                                      VariantText(variant.description).toHtmlEscaped()));
        }
        addItem(item);
    }
    updating_ = false;
    if (count() > 0) {
        item(0)->setSelected(false);
        tickOnly(item(0));
        // The keyboard starts on the ticked card, so the first arrow press
        // already moves.
        setCurrentIndex(model()->index(0, 0));
    }
    arrange();
    scrollToTop();
}

void SnapshotList::updateThumbnails(const ImageList& images)
{
    const bool wasUpdating = updating_;
    updating_ = true;
    for (int row = 0; row < count() && row < images.count(); ++row)
        item(row)->setIcon(QIcon(images.pixmap(row)));
    updating_ = wasUpdating;
}

void SnapshotList::changeEvent(QEvent* event)
{
    QListWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        static_cast<SnapshotDelegate*>(itemDelegate())->setFont(font());
        arrange();
    }
}

int SnapshotList::firstTickedRow() const
{
    for (int row = 0; row < count(); ++row)
        if (item(row)->checkState() == Qt::Checked)
            return row;
    return -1;
}

void SnapshotList::tickOnly(QListWidgetItem* target)
{
    const bool wasUpdating = updating_;
    updating_ = true;
    for (int row = 0; row < count(); ++row) {
        item(row)->setSelected(false);
        item(row)->setCheckState(Qt::Unchecked);
    }
    if (target)
        target->setCheckState(Qt::Checked);
    updating_ = wasUpdating;
}

void SnapshotList::onItemEvent(QListWidgetItem* item)
{
    // Our own changes to the check marks come back as itemChanged too.
    if (!updating_)
        tickOnly(item);
}

QRect SnapshotList::checkBoxRect(int row) const
{
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(model()->index(row, 0));
    return static_cast<const SnapshotDelegate*>(itemDelegate())->checkRect(option);
}

void SnapshotList::arrange()
{
    spreadOver();
    doItemsLayout();
    viewport()->update();
}

namespace {

// The smallest thumbnail of a picture of the shape (width over height, kept
// within 3:1 either way): 112 pixels wide for a 4:3 one, wider for a wide one.
QSize SmallestThumbnail(double aspect)
{
    const int width = static_cast<int>(std::lround(112 * std::max(1.0, std::sqrt(aspect))));
    return {width, static_cast<int>(std::lround(width / aspect))};
}

} // namespace

void SnapshotList::setPictureAspect(double aspect)
{
    aspect_ = std::clamp(aspect, 1.0 / 3.0, 3.0);
    // One whole row of the smallest cards, with their names.
    const QSize card =
        static_cast<const SnapshotDelegate*>(itemDelegate())->cardSize(SmallestThumbnail(aspect_));
    setMinimumHeight(card.height() + 2 * kGap + 2 * frameWidth());
    arrange();
}

void SnapshotList::spreadOver()
{
    // Spread the cards evenly over the width: as many columns as fit, the
    // space left over shared between them. The list lays items out in the
    // largest viewport less room for a scroll bar, whether one shows or not.
    const QSize viewport = maximumViewportSize();
    int width = viewport.width();
    if (verticalScrollBarPolicy() == Qt::ScrollBarAsNeeded)
        width -= style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, verticalScrollBar());
    width = std::max(1, width);
    // The thumbnails take the GIF's shape, up to 3:1 either way, and grow
    // with the list: about a fifth of its width, never below the smallest,
    // each as wide as its column allows up to a limit, and never taller than
    // a whole card fits in the list's height.
    const auto* delegate = static_cast<const SnapshotDelegate*>(itemDelegate());
    const QSize smallest = SmallestThumbnail(aspect_);
    const int wanted = std::max(smallest.width(), width / 5);
    int columns = std::max(1, (width - kGap) / (wanted + 2 * kPadding + kGap));
    int thumbWidth = std::clamp((width - kGap) / columns - kGap - 2 * kPadding, 40, 320);
    const int room = viewport.height() - kGap - (delegate->cardSize(QSize(0, 0)).height() + kGap);
    const int tallest = std::clamp(room, smallest.height(), 240);
    int thumbHeight = static_cast<int>(std::lround(thumbWidth / aspect_));
    if (thumbHeight > tallest) {
        thumbHeight = tallest;
        thumbWidth = static_cast<int>(std::lround(tallest * aspect_));
    }
    const QSize thumb(thumbWidth, thumbHeight);
    if (images_ && thumb != iconSize()) {
        images_->setThumbnailSize(thumb);
        setIconSize(thumb);
        updateThumbnails(*images_);
    }
    const QSize card = delegate->cardSize(iconSize());
    columns = std::max(1, (width - kGap) / (card.width() + kGap));
    const QSize grid((width - kGap) / columns, card.height() + kGap);
    if (gridSize() != grid)
        setGridSize(grid);
}

void SnapshotList::leaveEvent(QEvent* event)
{
    QListWidget::leaveEvent(event);
    Q_EMIT pointerLeft();
}

void SnapshotList::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QListWidget::currentChanged(current, previous);
    // The focus ring lies outside the card, beyond what the view repaints
    // for a new current item.
    viewport()->update();
}

void SnapshotList::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem()) {
        tickOnly(currentItem());
        return;
    }
    QListWidget::keyPressEvent(event);
}

void SnapshotList::resizeEvent(QResizeEvent* event)
{
    spreadOver();
    QListWidget::resizeEvent(event);
}

} // namespace qf::shell
