// The list of the 17 effect snapshots and the image list of its thumbnails.
//
// The list behaves like a group of radio buttons drawn as check boxes: a
// click on an item or on its check box leaves exactly that item ticked and no
// item highlighted. Item n (0-based row here) shows variant n.
#pragma once

#include <QListWidget>
#include <QPixmap>
#include <QSize>
#include <QVector>

namespace qf::shell {

// The thumbnails, in variant order.
class ImageList : public QObject {
    Q_OBJECT
public:
    explicit ImageList(QSize thumbnailSize, QObject* parent = nullptr);

    QSize thumbnailSize() const { return size_; }
    // Keeps the full picture and makes its thumbnail.
    void add(const QImage& picture);
    int count() const { return static_cast<int>(pixmaps_.size()); }
    const QPixmap& pixmap(int index) const { return pixmaps_.at(index); }
    void clear();
    // Makes every thumbnail again at the new size.
    void setThumbnailSize(QSize size);

private:
    // The picture filling box, its middle kept where their shapes differ.
    static QPixmap Thumbnail(const QImage& picture, QSize box);
    QSize size_;
    QVector<QImage> pictures_;
    QVector<QPixmap> pixmaps_;
};

class SnapshotList : public QListWidget {
    Q_OBJECT
public:
    explicit SnapshotList(QWidget* parent = nullptr);

    // Replaces the items with one per thumbnail of `images`, each with the
    // variant's name as tooltip; the first item is ticked.
    // The thumbnails follow the list's width from then on.
    void showSnapshots(ImageList& images);

    // Puts new pictures on the items, keeping their check marks.
    void updateThumbnails(const ImageList& images);

    // Row of the first ticked item in list order, or -1.
    int firstTickedRow() const;

    // Where the check box of the item at `row` is drawn, in viewport
    // coordinates.
    QRect checkBoxRect(int row) const;

    // Width over height of the pictures, known before they are: the list is
    // never lower than one row of cards of that shape.
    void setPictureAspect(double aspect);

    // Lays the items out again from the top-left, filling the width.
    void arrange();

Q_SIGNALS:
    // The pointer left the cards.
    void pointerLeft();

protected:
    void leaveEvent(QEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    // Enter and Return tick the card the keyboard is on, as Space does.
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // Clears every highlight and check mark, then ticks `target`.
    void tickOnly(QListWidgetItem* target);
    void spreadOver();
    void onItemEvent(QListWidgetItem* item);
    bool updating_ = false;
    double aspect_ = 4.0 / 3.0;
    ImageList* images_ = nullptr;
};

} // namespace qf::shell
