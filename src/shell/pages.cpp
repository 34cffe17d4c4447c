#include "shell/pages.h"

#include "engine/variants.h"
#include "shell/appearance.h"
#include "shell/result_viewer.h"

#include <QBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
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

} // namespace

QToolButton* SmallButton(const QString& text, const QString& tip, const QString& name, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setText(text);
    button->setToolTip(tip);
    button->setObjectName(name);
    button->setProperty("role", QStringLiteral("small")); // the skin draws these alike
    button->setFocusPolicy(Qt::StrongFocus);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    return button;
}

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

    LabelDrop =
        new QLabel(tr("or drop a GIF, an animated WebP or a video clip anywhere on this window"), this);
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
    zoom_ =
        SmallButton(tr("1:1"), tr("Show at the real size, or fitted"), QStringLiteral("BtnActualSize"), this);
    zoom_->setCheckable(true);
    connect(zoom_, &QAbstractButton::toggled, viewer_, &ResultViewer::setActualSize);
    before_ = SmallButton(tr("Before"), tr("Hold to see the original (or hold B)"),
                          QStringLiteral("BtnBefore"), this);
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

} // namespace qf::shell
