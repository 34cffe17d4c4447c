#include "shell/document.h"

#include "engine/variants.h"
#include "shell/result_viewer.h"
#include "shell/temp_results.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <utility>

namespace qf::shell {

Document::Document(const QString& systemTemp) : results_(std::make_unique<TempResults>(systemTemp))
{
    if (results_->isUsable()) {
        QDir folder(results_->folder());
        for (const QString& name :
             folder.entryList({QStringLiteral("qfTmp$_*.gif")}, QDir::Files | QDir::Hidden))
            folder.remove(name);
    }
}

Document::~Document() = default;

void Document::open(const QString& path, QSize size)
{
    clearResults();
    sourcePath_ = path;
    sourceSize_ = size;
}

void Document::setFrames(const QVector<int>& delays)
{
    delays_ = QVector<int>{0} + delays;
}

int Document::playingMs() const
{
    int milliseconds = 0;
    for (qsizetype i = 1; i < delays_.size(); ++i)
        milliseconds += PlaybackMs(delays_[i]);
    return milliseconds;
}

QString Document::resultFile(int variant, const Switches& switches) const
{
    if (switches == Switches{})
        return results_->file(variant);
    // Other switch settings get their own file beside it, named by the
    // values of the switches in table order, e.g. "qfTmp$_3_01110.gif".
    QString key;
    for (const SwitchInfo& info : kSwitches)
        key += QString::number(switches.*(info.member));
    // The style controls, when moved, follow: "qfTmp$_3_01100_i25_l50_g1.gif".
    Switches designed = switches;
    designed.Ink = designed.Lines = kDesignedStyle;
    designed.StillGrain = false;
    if (designed != switches)
        key += QStringLiteral("_i%1_l%2_g%3")
                   .arg(switches.Ink)
                   .arg(switches.Lines)
                   .arg(int(switches.StillGrain));
    return results_->folder() + QStringLiteral("qfTmp$_%1_%2.gif").arg(variant).arg(key);
}

QString Document::target(const Switches& switches, long long budget) const
{
    QString file = resultFile(chosenVariant_, switches);
    if (budget > 0)
        file.insert(file.size() - 4, QStringLiteral("_%1").arg(budget));
    return file;
}

bool Document::show(const QString& target, long long budget)
{
    shownResult_ = target;
    shownBudget_ = budget;
    if (converted_.contains(target))
        return QFileInfo::exists(target);
    converted_.append(target);
    return false;
}

void Document::beginRefit()
{
    previousResult_ = shownResult_;
    previousBudget_ = shownBudget_;
    refitting_ = true;
}

bool Document::endRefit(bool ok)
{
    const bool was = std::exchange(refitting_, false);
    if (was && !ok) {
        shownResult_ = previousResult_;
        shownBudget_ = previousBudget_;
    }
    return was;
}

void Document::clearResults()
{
    results_->clear();
    for (const QString& file : std::as_const(converted_))
        QFile::remove(file);
    converted_.clear();
    settings_.clear();
    shownResult_.clear();
    shownBudget_ = 0;
    refitting_ = false;
}

void Document::removeAll()
{
    clearResults();
    results_->removeAll();
}

} // namespace qf::shell
