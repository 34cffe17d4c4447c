// The five switches of the settings box: built from the switch table,
// stored in the settings store, shown by the Options control of step 2, and
// the previews redrawn in the background when one changes.
#include "shell/form_batch.h"

#include "engine/variants.h"
#include "shell/snapshot_list.h"
#include "shell/table_text.h"
#include "shell/temp_results.h"
#include "shell/update_reminder.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

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
    // the Options control shows them over the snapshots.
    GroupBox1 = new QGroupBox(tr("Settings"), centralWidget());
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
    GroupBox1->hide();
}

Switches FormBatch::currentSwitches() const
{
    Switches switches;
    for (int i = 0; i < kSwitchCount; ++i)
        switches.*(kSwitches[static_cast<std::size_t>(i)].member) = SwitchValue(SwitchBoxes[i]);
    return switches;
}

QString FormBatch::resultFile(int variant, const Switches& switches) const
{
    if (switches == Switches{})
        return TempResultFiles->file(variant);
    // Other switch settings get their own file beside it, named by the
    // values of the switches in table order, e.g. "qfTmp$_3_01110.gif".
    QString key;
    for (const SwitchInfo& info : kSwitches)
        key += QString::number(switches.*(info.member));
    return TempResultFiles->folder() + QStringLiteral("qfTmp$_%1_%2.gif").arg(variant).arg(key);
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
    rebuildSnapshots();
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
    BtnOptions->setToolTip(changed == 0 ? tr("Show the effect options (Alt+O)")
                                        : tr("Show the effect options (Alt+O): %n differ from the "
                                             "defaults",
                                             nullptr, changed));
    BtnOptions->setProperty("changed", changed > 0);
    BtnOptions->style()->unpolish(BtnOptions);
    BtnOptions->style()->polish(BtnOptions);
    BtnRestoreDefaults->setEnabled(changed > 0);
}

void FormBatch::setOptionsOpen(bool open)
{
    if (open == GroupBox1->isVisible())
        return;
    GroupBox1->setVisible(open);
    layoutClient();
    if (open && !SwitchBoxes.isEmpty())
        SwitchBoxes.front()->setFocus();
    else if (!open && CurrentStep == 2)
        LVSnapshot->setFocus();
}

void FormBatch::rebuildSnapshots()
{
    if (SourcePath.isEmpty() || ImageList1->count() == 0)
        return;
    if (snapshotWatcher_.isRunning()) {
        // The running build is out of date: stop it and start again when it
        // has ended.
        snapshotsWanted_ = true;
        snapshotStop_->store(true);
        return;
    }
    snapshotsWanted_ = false;
    snapshotStop_ = std::make_shared<std::atomic<bool>>(false);
    LabelUpdating->show();
    layoutClient();

    auto work = services_.work;
    auto stop = snapshotStop_;
    const QString path = SourcePath;
    const Switches switches = currentSwitches();
    snapshotWatcher_.disconnect(this);
    connect(&snapshotWatcher_, &QFutureWatcher<OpenOutcome>::finished, this, [this, path, switches] {
        if (closing_)
            return;
        if (snapshotsWanted_) {
            rebuildSnapshots();
            return;
        }
        LabelUpdating->hide();
        layoutClient();
        const OpenOutcome outcome = snapshotWatcher_.result();
        // A build for another GIF or other switches is thrown away.
        if (!outcome.ok || path != SourcePath || switches != currentSwitches()
            || outcome.gif.snapshots.size() != kVariantCount)
            return;
        ImageList1->clear();
        for (const QImage& snapshot : outcome.gif.snapshots)
            ImageList1->add(snapshot);
        LVSnapshot->updateThumbnails(*ImageList1);
    });
    snapshotWatcher_.setFuture(QtConcurrent::run([work, path, switches, stop] {
        OpenOutcome outcome;
        outcome.ok = work->open(
            path, switches, [stop](double) { return !stop->load(); }, &outcome.gif, &outcome.error);
        return outcome;
    }));
}

} // namespace qf::shell
