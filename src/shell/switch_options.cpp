// The five switches of the settings box: built from the switch table,
// stored in the settings store, shown by the Options control of step 2, and
// the previews redrawn in the background when one changes.
#include "shell/form_batch.h"

#include "engine/variants.h"
#include "shell/document.h"
#include "shell/pages.h"
#include "shell/snapshot_list.h"
#include "shell/table_text.h"
#include "shell/temp_results.h"
#include "shell/update_reminder.h"
#include "shell/work_controller.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QVBoxLayout>

namespace qf::shell {

namespace {

// The keys of the switches in the settings store: the check box text in
// CamelCase under "Switches/", e.g. "Switches/MixSimilarColor".
QString SwitchKey(const SwitchInfo& info)
{
    QString key = QStringLiteral("Switches/");
    const QString label = QString::fromUtf8(info.label.data(), qsizetype(info.label.size()));
    for (const QString& word : label.split(u' ', Qt::SkipEmptyParts))
        key += word.left(1).toUpper() + word.mid(1);
    return key;
}

QString SwitchText(std::string_view text)
{
    return TableText("qf::Switches", text);
}

int SwitchValue(const QCheckBox* box)
{
    switch (box->checkState()) {
    case Qt::Unchecked:
        return 0;
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    }
    return 0;
}

} // namespace

void FormBatch::createSettingsBox()
{
    // The switches stay out of sight, and out of the keyboard's reach, until
    // the Options control shows them above the preview.
    GroupBox1 = new QGroupBox(tr("Settings"), PageChoose);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(GroupBox1);
    for (const SwitchInfo& info : kSwitches) {
        auto* box = new QCheckBox(SwitchText(info.label), GroupBox1);
        box->setToolTip(SwitchText(info.help));
        box->setChecked(info.onByDefault);
        connect(box, &QCheckBox::toggled, this, &FormBatch::switchChanged);
        layout->addWidget(box);
        SwitchBoxes.append(box);
    }
    LabelUpdating = new QLabel(tr("Updating the previews\u2026"), GroupBox1);
    LabelUpdating->setEnabled(false);
    LabelUpdating->hide();
    layout->addWidget(LabelUpdating);
    auto* restore = new QPushButton(tr("Restore defaults"), GroupBox1);
    restore->setObjectName(QStringLiteral("BtnRestoreDefaults"));
    connect(restore, &QPushButton::clicked, this, &FormBatch::restoreDefaultSwitches);
    BtnRestoreDefaults = restore;
    layout->addWidget(restore, 0, Qt::AlignLeft);
    PageChoose->addSidePanel(GroupBox1);
}

Switches FormBatch::currentSwitches() const
{
    Switches switches;
    for (int i = 0; i < kSwitchCount; ++i)
        switches.*(kSwitches[static_cast<std::size_t>(i)].member) = SwitchValue(SwitchBoxes[i]);
    return switches;
}

void FormBatch::loadSwitches()
{
    if (services_.settings) {
        for (int i = 0; i < kSwitchCount; ++i) {
            const SwitchInfo& info = kSwitches[static_cast<std::size_t>(i)];
            const QString stored = ReadSetting(*services_.settings, SwitchKey(info));
            const QSignalBlocker quiet(SwitchBoxes[i]);
            if (stored == QStringLiteral("1") || stored == QStringLiteral("0"))
                SwitchBoxes[i]->setChecked(stored == QStringLiteral("1"));
        }
    }
    updateOptionsControl();
}

void FormBatch::switchChanged()
{
    if (services_.settings) {
        for (int i = 0; i < kSwitchCount; ++i) {
            const QString value = SwitchBoxes[i]->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
            const QString key = SwitchKey(kSwitches[static_cast<std::size_t>(i)]);
            if (ReadSetting(*services_.settings, key) != value)
                WriteSetting(*services_.settings, key, value);
        }
    }
    updateOptionsControl();
    // The thumbnails and previews are redrawn with the new switches.
    if (Doc->sourcePath().isEmpty() || ImageList1->count() == 0)
        return;
    refreshCards();
    const int shown = PageChoose->previewVariant();
    PageChoose->forgetPreviews();
    if (shown >= 0 && CurrentStep == Step::Choose)
        PageChoose->showPreview(shown);
}

void FormBatch::restoreDefaultSwitches()
{
    for (int i = 0; i < kSwitchCount; ++i) {
        const QSignalBlocker quiet(SwitchBoxes[i]);
        SwitchBoxes[i]->setChecked(kSwitches[static_cast<std::size_t>(i)].onByDefault);
    }
    switchChanged();
}

void FormBatch::updateOptionsControl()
{
    int changed = 0;
    for (int i = 0; i < kSwitchCount; ++i)
        if (SwitchBoxes[i]->isChecked() != kSwitches[static_cast<std::size_t>(i)].onByDefault)
            ++changed;
    // A dot beside the name says the switches are not the defaults.
    BtnOptions->setText(changed == 0 ? tr("&Options") : tr("&Options \u25cf"));
    QString tip = tr("Show the effect options (Alt+O)");
    if (changed == 1)
        tip = tr("Show the effect options (Alt+O): 1 switch differs from the defaults");
    else if (changed > 1)
        tip = tr("Show the effect options (Alt+O): %1 switches differ from the defaults").arg(changed);
    BtnOptions->setToolTip(tip);
    BtnOptions->setProperty("changed", changed > 0);
    BtnOptions->style()->unpolish(BtnOptions);
    BtnOptions->style()->polish(BtnOptions);
    BtnRestoreDefaults->setEnabled(changed > 0);
    // The dot may come from a taller fallback font: the control keeps the
    // height of the taller text either way, so the bar never moves.
    if (BtnOptions->minimumHeight() == 0) {
        const QString text = BtnOptions->text();
        int height = 0;
        for (const QString& shown : {tr("&Options"), tr("&Options \u25cf")}) {
            BtnOptions->setText(shown);
            height = std::max(height, BtnOptions->sizeHint().height());
        }
        BtnOptions->setText(text);
        BtnOptions->setMinimumHeight(height);
    }
}

void FormBatch::setOptionsOpen(bool open)
{
    if (open == PageChoose->sidePanelOpen())
        return;
    PageChoose->setSidePanelOpen(open);
    updateMinimumSize(); // the window grows where the panel needs it
    if (open && !SwitchBoxes.isEmpty())
        SwitchBoxes.front()->setFocus();
    else if (!open && CurrentStep == Step::Choose)
        LVSnapshot->setFocus();
}

} // namespace qf::shell
