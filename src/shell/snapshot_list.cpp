#include "shell/snapshot_list.h"

#include "engine/variants.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyledItemDelegate>

namespace qf::shell {

ImageList::ImageList(QSize thumbnailSize, QObject* parent)
    : QObject(parent)
    , size_(thumbnailSize)
{
}

void ImageList::add(const QImage& picture)
{
    QPixmap canvas(size_);
    canvas.fill(Qt::transparent);
    if (!picture.isNull()) {
        // Shrinking smooths; enlarging a tiny GIF keeps its pixels crisp so
        // the strokes of the effect stay visible.
        const QSize fitted = picture.size().scaled(size_, Qt::KeepAspectRatio);
        const bool shrink = fitted.width() < picture.width();
        const QImage scaled = picture.scaled(
            fitted, Qt::KeepAspectRatio,
            shrink ? Qt::SmoothTransformation : Qt::FastTransformation);
        QPainter painter(&canvas);
        painter.drawImage((size_.width() - scaled.width()) / 2,
                          (size_.height() - scaled.height()) / 2, scaled);
    }
    pixmaps_.append(canvas);
}

namespace {

// Draws the ticked thumbnail with an accent frame, so the choice is visible at
// a glance without using the selection highlight.
class SnapshotDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        QStyleOptionViewItem plain = option;
        plain.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
        const bool ticked = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
        const bool hovered = option.state & QStyle::State_MouseOver;
        if (ticked || hovered) {
            painter->save();
            painter->setRenderHint(QPainter::Antialiasing);
            const QRectF frame = QRectF(option.rect).adjusted(1.5, 1.5, -1.5, -1.5);
            QPainterPath path;
            path.addRoundedRect(frame, 6, 6);
            const QColor accent = option.palette.color(QPalette::Highlight);
            QColor fill = accent;
            fill.setAlpha(ticked ? 40 : 18);
            painter->fillPath(path, fill);
            if (ticked) {
                painter->setPen(QPen(accent, 2));
                painter->drawPath(path);
            }
            painter->restore();
        }
        plain.state &= ~QStyle::State_MouseOver;
        QStyledItemDelegate::paint(painter, plain, index);
    }

    // The rectangle editorEvent toggles the check mark in.
    QRect checkRect(const QStyleOptionViewItem& option, const QModelIndex& index,
                    const QWidget* widget) const
    {
        QStyleOptionViewItem laidOut = option;
        initStyleOption(&laidOut, index);
        return widget->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &laidOut,
                                               widget);
    }
};

} // namespace

SnapshotList::SnapshotList(QWidget* parent)
    : QListWidget(parent)
{
    setViewMode(QListView::IconMode);
    setFlow(QListView::LeftToRight);
    setWrapping(true);
    setResizeMode(QListView::Adjust);
    setMovement(QListView::Static);
    setSelectionMode(QAbstractItemView::NoSelection);
    setUniformItemSizes(true);
    setSpacing(6);
    setMouseTracking(true);
    setItemDelegate(new SnapshotDelegate(this));

    // Both the click on an item and the toggle of its check box end in the
    // same place: exactly that item ticked.
    connect(this, &QListWidget::itemClicked, this, &SnapshotList::onItemEvent);
    connect(this, &QListWidget::itemChanged, this, &SnapshotList::onItemEvent);
}

void SnapshotList::showSnapshots(const ImageList& images)
{
    updating_ = true;
    clear();
    setIconSize(images.thumbnailSize());
    for (int i = 0; i < images.count(); ++i) {
        auto* item = new QListWidgetItem(QIcon(images.pixmap(i)), QString());
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
        if (i < kVariantCount) {
            const VariantInfo& variant = kVariants[static_cast<std::size_t>(i)];
            item->setToolTip(QStringLiteral("<b>%1</b><br>%2")
                                 .arg(QString::fromUtf8(variant.name.data(),
                                                        static_cast<qsizetype>(variant.name.size())),
                                      QString::fromUtf8(variant.description.data(),
                                                        static_cast<qsizetype>(
                                                            variant.description.size()))));
        }
        addItem(item);
    }
    updating_ = false;
    if (count() > 0) {
        item(0)->setSelected(false);
        tickOnly(item(0));
    }
    scrollToTop();
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
    const QModelIndex index = model()->index(row, 0);
    option.rect = visualRect(index);
    return static_cast<const SnapshotDelegate*>(itemDelegate())->checkRect(option, index, this);
}

void SnapshotList::arrange()
{
    doItemsLayout();
    viewport()->update();
}

} // namespace qf::shell
