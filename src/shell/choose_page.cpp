// Step 2: the cards and the preview.
#include "shell/pages.h"

#include "engine/variants.h"
#include "shell/result_viewer.h"
#include "shell/snapshot_list.h"
#include "shell/table_text.h"

#include <QBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <cmath>

namespace qf::shell {

namespace {

// The preview's rendering box: the room it has, no larger than the picture,
// and at most about 640 x 360 pixels, which keeps a rendering of the first
// seconds near 70 MB.
QSize PreviewBox(QSize space, QSize picture)
{
    QSize box = space.boundedTo(picture).expandedTo(QSize(64, 48));
    constexpr double kMaxPixels = 640.0 * 360.0;
    const double pixels = double(box.width()) * box.height();
    if (pixels > kMaxPixels)
        box = (QSizeF(box) * std::sqrt(kMaxPixels / pixels)).toSize();
    return box;
}

// The renderings kept for going back to a variant: the newest always, older
// ones while they all take at most this many bytes.
constexpr qsizetype kKeptBytes = 96LL << 20;

// Around the picture inside the viewer (it draws a 16-pixel margin), and
// the side pane's own margins.
constexpr int kViewerMargin = 32;
constexpr int kPaneMarginX = 12, kPaneMarginY = 10;

} // namespace

qsizetype ChoosePage::Frames::bytes() const
{
    qsizetype total = 0;
    for (const QImage& frame : frames)
        total += frame.sizeInBytes();
    return total;
}

ChoosePage::ChoosePage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("PageChoose"));
    LVSnapshot = new SnapshotList(this);
    LVSnapshot->setObjectName(QStringLiteral("LVSnapshot"));
    LVSnapshot->setFocusPolicy(Qt::StrongFocus);

    pane_ = new QWidget(this);
    pane_->setObjectName(QStringLiteral("PreviewPane"));
    LabelPreview = new QLabel(pane_);
    LabelPreview->setObjectName(QStringLiteral("LabelPreview"));
    PreviewViewer = new ResultViewer(pane_);
    PreviewViewer->setObjectName(QStringLiteral("PreviewViewer"));
    PreviewViewer->setMinimumSize(120, 64);
    PreviewViewer->setPlaceholder(tr("Rest the pointer on an effect, or press P, to see it play"));
    BtnPreview =
        SmallButton(tr("Preview"), tr("Play the ticked effect (P)"), QStringLiteral("BtnPreview"), pane_);
    connect(BtnPreview, &QAbstractButton::clicked, this,
            [this] { showPreview(LVSnapshot->firstTickedRow()); });
    controls_ = new ViewerControls(PreviewViewer, false, pane_);
    static_cast<QHBoxLayout*>(controls_->layout())->insertWidget(0, BtnPreview);

    panel_ = new QScrollArea(pane_);
    panel_->setObjectName(QStringLiteral("OptionsPanel"));
    panel_->setWidgetResizable(true);
    panel_->setFrameShape(QFrame::NoFrame);
    panel_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    panel_->setMinimumHeight(64);
    panel_->hide();

    side_ = new QVBoxLayout(pane_);
    side_->setContentsMargins(4, 6, 8, 4);
    side_->addWidget(panel_);
    side_->addWidget(LabelPreview);
    side_->addWidget(PreviewViewer, 1);
    side_->addWidget(controls_);

    body_ = new QBoxLayout(QBoxLayout::LeftToRight);
    body_->setContentsMargins(0, 0, 0, 0);
    body_->setSpacing(0);
    body_->addWidget(LVSnapshot, 1);
    body_->addWidget(pane_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(body_, 1);

    // The preview follows the pointer once it rests on a card.
    hover_ = new QTimer(this);
    hover_->setSingleShot(true);
    hover_->setInterval(150);
    connect(hover_, &QTimer::timeout, this, [this] {
        if (hovered_ >= 0)
            showPreview(hovered_);
    });
    connect(LVSnapshot, &QListWidget::itemEntered, this, [this](QListWidgetItem* item) {
        hovered_ = LVSnapshot->row(item);
        hover_->start();
    });
    connect(LVSnapshot, &SnapshotList::pointerLeft, this, [this] {
        hovered_ = -1;
        hover_->stop();
    });
}

void ChoosePage::addSidePanel(QWidget* panel)
{
    panel_->setWidget(panel);
}

void ChoosePage::setSidePanelOpen(bool open)
{
    panelOpen_ = open;
    panel_->setVisible(open);
    placePreview();
}

void ChoosePage::addTopRow(QWidget* row)
{
    static_cast<QVBoxLayout*>(layout())->insertWidget(0, row);
}

void ChoosePage::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placePreview();
}

void ChoosePage::placePreview()
{
    // The preview goes beside the cards, or above them where that leaves it
    // more room: in a tall page or for a wide picture.
    const QSize page = size();
    const double aspect = double(picture_.width()) / std::max(1, picture_.height());
    const bool above = page.height() > page.width() || aspect * page.height() > 1.2 * page.width();
    body_->setDirection(above ? QBoxLayout::BottomToTop : QBoxLayout::LeftToRight);
    // Room for the label, the controls and an open panel around the picture.
    int chrome = LabelPreview->sizeHint().height() + controls_->sizeHint().height() + kPaneMarginY
                 + 2 * side_->spacing() + kViewerMargin;
    if (panelOpen_)
        chrome += panel_->widget() ? panel_->widget()->sizeHint().height() + side_->spacing() : 0;
    // The pane asks for the picture at its own size (smaller where the page
    // has less room); the cards take what it leaves.
    if (above) {
        const int width = page.width() - kPaneMarginX - kViewerMargin;
        const QSize shown = picture_.width() > width
                                ? picture_.scaled(width, picture_.height(), Qt::KeepAspectRatio)
                                : picture_;
        pane_->setMaximumSize(QWIDGETSIZE_MAX,
                              std::max(shown.height() + chrome, pane_->minimumSizeHint().height()));
    } else {
        const QSize room(page.width() / 2 - kPaneMarginX - kViewerMargin, page.height() - chrome);
        const QSize shown = picture_.width() > room.width() || picture_.height() > room.height()
                                ? picture_.scaled(room.expandedTo(QSize(1, 1)), Qt::KeepAspectRatio)
                                : picture_;
        int width = shown.width() + kPaneMarginX + kViewerMargin + 4;
        if (panelOpen_ && panel_->widget())
            width = std::max(width, panel_->widget()->sizeHint().width() + kPaneMarginX + 16);
        width = std::max(width, controls_->sizeHint().width() + kPaneMarginX);
        pane_->setMaximumSize(std::max(width, pane_->minimumSizeHint().width()), QWIDGETSIZE_MAX);
    }
}

void ChoosePage::setPictureSize(QSize size)
{
    picture_ = size.isEmpty() ? QSize(4, 3) : size;
    PreviewViewer->setPictureSize(size);
    LVSnapshot->setPictureAspect(double(picture_.width()) / picture_.height());
    placePreview();
}

void ChoosePage::showPreview(int variant)
{
    if (variant < 0 || variant >= kVariantCount || !render)
        return;
    LabelPreview->setText(
        tr("Preview: %1").arg(TableText("qf::Variants", kVariants[static_cast<std::size_t>(variant)].name)));
    if (variant == variant_)
        return;
    variant_ = variant;
    PreviewViewer->showFrames();
    controls_->sync();
    if (const auto kept = kept_.constFind(variant); kept != kept_.constEnd()) {
        request_ = 0;
        for (qsizetype i = 0; i < kept->frames.size(); ++i)
            PreviewViewer->appendFrame(originals_.value(i), kept->frames[i], kept->delays[i]);
    } else {
        rendering_ = {};
        const QSize area = PreviewViewer->size() - QSize(kViewerMargin, kViewerMargin);
        request_ = render(variant, PreviewBox(area, picture_));
    }
    controls_->sync();
}

void ChoosePage::addPreviewFrame(int request, const QImage& original, const QImage& frame, int delay)
{
    if (request != request_)
        return;
    if (rendering_.frames.size() >= originals_.size())
        originals_.append(original);
    rendering_.frames.append(frame);
    rendering_.delays.append(delay);
    PreviewViewer->appendFrame(originals_[rendering_.frames.size() - 1], frame, delay);
    controls_->sync();
}

void ChoosePage::previewDone(int request)
{
    if (request != request_ || rendering_.frames.isEmpty())
        return;
    kept_.insert(variant_, std::exchange(rendering_, {}));
    keptOrder_.removeAll(variant_);
    keptOrder_.append(variant_);
    qsizetype bytes = 0;
    for (const int variant : std::as_const(keptOrder_))
        bytes += kept_.value(variant).bytes();
    while (keptOrder_.size() > 1 && bytes > kKeptBytes) {
        bytes -= kept_.value(keptOrder_.front()).bytes();
        kept_.remove(keptOrder_.takeFirst());
    }
}

void ChoosePage::forgetPreviews()
{
    kept_.clear();
    keptOrder_.clear();
    originals_.clear();
    rendering_ = {};
    request_ = 0;
    variant_ = -1;
    LabelPreview->clear();
    PreviewViewer->closeFile();
}

} // namespace qf::shell
