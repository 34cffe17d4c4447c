#include "shell/pages.h"

#include "engine/variants.h"
#include "pipeline/options.h"
#include "shell/appearance.h"
#include "shell/result_viewer.h"
#include "shell/snapshot_list.h"
#include "shell/table_text.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QLabel>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>

namespace qf::shell {

namespace {

// A label that acts on a click, shown with a hand cursor.
class LinkLabel : public QLabel {
public:
    using QLabel::QLabel;
    std::function<void()> onClick;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        QLabel::mouseReleaseEvent(event);
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && onClick)
            onClick();
    }
};

QToolButton* SmallButton(const QString& text, const QString& tip, const QString& name, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setText(text);
    button->setToolTip(tip);
    button->setObjectName(name);
    button->setFocusPolicy(Qt::StrongFocus);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    return button;
}

// The preview's rendering box: the space it has, at most 400 x 300, which
// keeps a kept rendering near 20 MB.
QSize PreviewBox(const QSize& space)
{
    return {std::clamp(space.width(), 64, 400), std::clamp(space.height(), 48, 300)};
}

constexpr int kKeptPreviews = 3;

} // namespace

// --- step 1 ---------------------------------------------------------------------

OpenPage::OpenPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("PageOpen"));
    auto* open = new QToolButton(this);
    open->setText(tr("Click Here to Open Your GIF File"));
    open->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    open->setIcon(OpenIcon(QColor(0x3f, 0x6e, 0xe8)));
    open->setIconSize(QSize(48, 48));
    open->setObjectName(QStringLiteral("BtnOpenFile"));
    open->setMinimumSize(258, 136);
    open->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    open->setCursor(Qt::PointingHandCursor);
    open->setFocusPolicy(Qt::StrongFocus);
    BtnOpenFile = open;

    LabelDrop = new QLabel(tr("or drop a GIF or animated WebP file anywhere on this window"), this);
    LabelDrop->setObjectName(QStringLiteral("LabelDrop"));
    LabelDrop->setAlignment(Qt::AlignCenter);
    LabelDrop->setEnabled(false);

    PicAbout = new QWidget(this);
    PicAbout->setObjectName(QStringLiteral("PicAbout"));
    PicAbout->setAttribute(Qt::WA_StyledBackground);
    auto* aboutLayout = new QHBoxLayout(PicAbout);
    aboutLayout->setContentsMargins(12, 6, 12, 6);
    auto* notice = new QLabel(
        tr("Quillframe %1 \u2014 hand-drawn animations from your GIFs").arg(QStringLiteral(QF_VERSION)),
        PicAbout);
    notice->setObjectName(QStringLiteral("Label2"));
    Label3 = new LinkLabel(PicAbout);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setCursor(Qt::PointingHandCursor);
    QFont linkFont = Label3->font();
    linkFont.setUnderline(true);
    Label3->setFont(linkFont);
    Label3->setForegroundRole(QPalette::Link);
    aboutLayout->addWidget(notice, 1);
    aboutLayout->addWidget(Label3);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addStretch();
    layout->addWidget(BtnOpenFile, 0, Qt::AlignHCenter);
    layout->addSpacing(10);
    layout->addWidget(LabelDrop);
    layout->addStretch();
    layout->addWidget(PicAbout);
}

void OpenPage::setAboutLink(const QString& text, const QString& tip, std::function<void()> onClick)
{
    Label3->setText(text);
    Label3->setToolTip(tip);
    static_cast<LinkLabel*>(Label3)->onClick = std::move(onClick);
}

void OpenPage::setDragHighlight(bool on)
{
    highlight_ = on;
    LabelDrop->setEnabled(on);
    update();
}

void OpenPage::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    if (!highlight_)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor accent = palette().color(QPalette::Highlight);
    QColor wash = accent;
    wash.setAlpha(28);
    painter.setBrush(wash);
    painter.setPen(QPen(accent, 2, Qt::DashLine));
    const QRect area = rect().adjusted(8, 8, -8, -8 - PicAbout->height());
    painter.drawRoundedRect(QRectF(area), 12, 12);
}

// --- viewer controls ----------------------------------------------------------------

ViewerControls::ViewerControls(ResultViewer* viewer, bool playback, QWidget* parent)
    : QWidget(parent), viewer_(viewer)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 2, 8, 2);
    if (playback) {
        play_ = SmallButton(tr("Pause"), tr("Play or pause (Space)"), QStringLiteral("BtnPlay"), this);
        connect(play_, &QAbstractButton::clicked, this, [this] {
            viewer_->setPlaying(!viewer_->isPlaying());
            sync();
        });
        step_ = SmallButton(tr("Next frame"), tr("Show the next frame (Right; Left goes back)"),
                            QStringLiteral("BtnStepFrame"), this);
        connect(step_, &QAbstractButton::clicked, this, [this] {
            viewer_->stepFrame(1);
            sync();
        });
        layout->addWidget(play_);
        layout->addWidget(step_);
    }
    zoom_ = SmallButton(tr("1:1"), tr("Show at the real size, or fitted"), QStringLiteral("BtnActualSize"), this);
    zoom_->setCheckable(true);
    connect(zoom_, &QAbstractButton::toggled, viewer_, &ResultViewer::setActualSize);
    before_ = SmallButton(tr("Before"), tr("Hold to see the original (or hold B)"), QStringLiteral("BtnBefore"),
                          this);
    connect(before_, &QAbstractButton::pressed, this, [this] { viewer_->setShowingOriginal(true); });
    connect(before_, &QAbstractButton::released, this, [this] { viewer_->setShowingOriginal(false); });
    layout->addWidget(zoom_);
    layout->addWidget(before_);
    layout->addStretch();
    connect(viewer_, &ResultViewer::frameShown, this, &ViewerControls::sync);
    sync();
}

QAbstractButton* ViewerControls::first() const
{
    return play_ ? play_ : zoom_;
}

QAbstractButton* ViewerControls::last() const
{
    return before_;
}

void ViewerControls::sync()
{
    if (play_)
        play_->setText(viewer_->isPlaying() ? tr("Pause") : tr("Play"));
    before_->setEnabled(viewer_->hasOriginal());
}

// --- step 2 ---------------------------------------------------------------------

ChoosePage::ChoosePage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("PageChoose"));
    LVSnapshot = new SnapshotList(this);
    LVSnapshot->setObjectName(QStringLiteral("LVSnapshot"));
    LVSnapshot->setFocusPolicy(Qt::StrongFocus);

    LabelPreview = new QLabel(this);
    LabelPreview->setObjectName(QStringLiteral("LabelPreview"));
    PreviewViewer = new ResultViewer(this);
    PreviewViewer->setObjectName(QStringLiteral("PreviewViewer"));
    PreviewViewer->setMinimumSize(160, 120);
    PreviewViewer->setPlaceholder(tr("Rest the pointer on an effect, or press P, to see it play"));
    auto* preview = SmallButton(tr("Preview"), tr("Play the ticked effect (P)"), QStringLiteral("BtnPreview"),
                                this);
    BtnPreview = preview;
    connect(BtnPreview, &QAbstractButton::clicked, this, [this] { showPreview(LVSnapshot->firstTickedRow()); });
    controls_ = new ViewerControls(PreviewViewer, false, this);
    static_cast<QHBoxLayout*>(controls_->layout())->insertWidget(0, BtnPreview);

    side_ = new QVBoxLayout;
    side_->setContentsMargins(4, 6, 8, 4);
    side_->addWidget(LabelPreview);
    side_->addWidget(PreviewViewer, 1);
    side_->addWidget(controls_);
    layout_ = new QBoxLayout(QBoxLayout::LeftToRight, this);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->addWidget(LVSnapshot, 3);
    layout_->addLayout(side_, 2);

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
    side_->insertWidget(0, panel);
}

void ChoosePage::resizeEvent(QResizeEvent* event)
{
    if (event)
        QWidget::resizeEvent(event);
    // The preview goes beside the cards, or above them where that leaves it
    // more room: in a tall window or for a wide GIF.
    const bool above = height() > width() || aspect_ * height() > 1.2 * width();
    layout_->setDirection(above ? QBoxLayout::BottomToTop : QBoxLayout::LeftToRight);
}

void ChoosePage::setPictureAspect(double aspect)
{
    aspect_ = aspect;
    resizeEvent(nullptr);
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
        request_ = render(variant, PreviewBox(PreviewViewer->size()));
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
    while (keptOrder_.size() > kKeptPreviews)
        kept_.remove(keptOrder_.takeFirst());
}

void ChoosePage::forgetPreviews()
{
    kept_.clear();
    keptOrder_.clear();
    originals_.clear();
    rendering_ = {};
    request_ = 0;
    variant_ = -1;
    PreviewViewer->closeFile();
}

// --- step 3 ---------------------------------------------------------------------

ResultPage::ResultPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("PageResult"));
    GdViewer1 = new ResultViewer(this);
    GdViewer1->setObjectName(QStringLiteral("GdViewer1"));
    controls_ = new ViewerControls(GdViewer1, true, this);
    LabelInfo = new QLabel(this);
    LabelInfo->setObjectName(QStringLiteral("LabelInfo"));
    static_cast<QHBoxLayout*>(controls_->layout())->addWidget(LabelInfo);
    auto* row = new QHBoxLayout;
    row->setContentsMargins(8, 2, 8, 4);
    row->setSpacing(6);
    row->addStretch(1);
    auto* fitLabel = new QLabel(tr("Fit under:"), this);
    ComboFit = new QComboBox(this);
    ComboFit->setObjectName(QStringLiteral("ComboFit"));
    fitLabel->setBuddy(ComboFit);
    ComboFit->addItem(tr("Original"), 0LL);
    // The limits of common places to share an animation.
    for (const long long bytes : kFitUnderChoices)
        ComboFit->addItem(QLocale().formattedDataSize(bytes, 0, QLocale::DataSizeTraditionalFormat), bytes);
    ComboFit->addItem(tr("Custom"), -1LL);
    SpinFit = new QSpinBox(this);
    SpinFit->setObjectName(QStringLiteral("SpinFit"));
    SpinFit->setRange(1, 4 << 20);
    SpinFit->setValue(1024);
    // The unit the choices above are written in (1024 bytes).
    SpinFit->setSuffix(QLocale().formattedDataSize(1024, 0, QLocale::DataSizeTraditionalFormat)
                           .remove(QLocale().toString(1)));
    SpinFit->setVisible(false);
    row->addWidget(fitLabel);
    row->addWidget(ComboFit);
    row->addWidget(SpinFit);
    connect(ComboFit, &QComboBox::activated, this, [this](int index) {
        const long long bytes = ComboFit->itemData(index).toLongLong();
        SpinFit->setVisible(bytes < 0);
        if (bytes < 0)
            SpinFit->setFocus();
        else
            Q_EMIT fitUnderChosen(bytes);
    });
    connect(SpinFit, &QSpinBox::editingFinished, this, [this] {
        if (SpinFit->isVisible())
            Q_EMIT fitUnderChosen(fitUnder());
    });
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(GdViewer1, 1);
    layout->addWidget(controls_);
    layout->addLayout(row);
}

void ResultPage::setInfo(const QString& text)
{
    LabelInfo->setText(text);
}

QList<QWidget*> ResultPage::fitControls() const
{
    return {ComboFit, SpinFit};
}

long long ResultPage::fitUnder() const
{
    const long long bytes = ComboFit->currentData().toLongLong();
    return bytes >= 0 ? bytes : SpinFit->value() * 1024LL;
}

void ResultPage::setFitUnder(long long bytes)
{
    int index = ComboFit->findData(std::max(bytes, 0LL));
    if (index < 0) {
        index = ComboFit->count() - 1; // custom
        SpinFit->setValue(static_cast<int>(std::clamp(bytes / 1024, 1LL, 4LL << 20)));
    }
    ComboFit->setCurrentIndex(index);
    SpinFit->setVisible(index == ComboFit->count() - 1);
}

} // namespace qf::shell
