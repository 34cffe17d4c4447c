// The document of the window: the opened animation (its path, size and
// frame delays), the variant chosen for the last conversion, the result
// files converted since it was opened, the result shown in step 3 with the
// size limit it was made under, and, while a new limit is tried, the result
// shown before it. It owns the private temporary folder of the results.
#pragma once

#include "engine/engine.h"
#include "pipeline/size_estimate.h"

#include <QHash>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

namespace qf::shell {

class TempResults;

class Document {
public:
    // Takes the private folder inside systemTemp; results an earlier run
    // left there (it was killed before it could clean up) are deleted.
    explicit Document(const QString& systemTemp);
    ~Document();
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    const TempResults& tempResults() const { return *results_; }

    // A newly opened animation: its results so far are deleted.
    void open(const QString& path, QSize size);
    QString sourcePath() const { return sourcePath_; }
    QSize sourceSize() const { return sourceSize_; }
    // The delays of the frames converted, in hundredths, frame 1 first.
    void setFrames(const QVector<int>& delays);
    int frameCount() const { return static_cast<int>(delays_.size()) - 1; }
    // Index 0 unused; index i holds the delay of frame i.
    const QVector<int>& frameDelays() const { return delays_; }
    // How long the frames play, in milliseconds, as the viewer plays them.
    int playingMs() const;

    int chosenVariant() const { return chosenVariant_; }
    void choose(int variant) { chosenVariant_ = variant; }

    // The temporary result file of the variant converted with the switches.
    QString resultFile(int variant, const Switches& switches) const;
    // The file of the chosen variant with the switches and within budget
    // bytes (0: no limit), e.g. "qfTmp$_3_262144.gif".
    QString target(const Switches& switches, long long budget) const;

    // Makes target the result shown, made within budget. True when this
    // window already converted it since the animation was opened and it is
    // still there: it is shown as it is. A file this window did not make is
    // never trusted.
    bool show(const QString& target, long long budget);
    QString shownResult() const { return shownResult_; }
    long long shownBudget() const { return shownBudget_; }
    // The settings the result shown was made at within its budget, once
    // known (the best ones for a result without a limit).
    bool knowsShownSettings() const { return settings_.contains(shownResult_); }
    void setShownSettings(const SizeSettings& settings) { settings_.insert(shownResult_, settings); }
    SizeSettings shownSettings() const { return settings_.value(shownResult_); }

    // A new limit is tried for the result shown; end() with false (it could
    // not be met, or the work was stopped) puts the result shown before
    // back. Returns whether a refit was in hand.
    void beginRefit();
    bool refitting() const { return refitting_; }
    bool endRefit(bool ok);

    // Deletes every result file (the 17 and those made with other switches or
    // limits); the result shown is forgotten.
    void clearResults();
    // Deletes the results and the private folder itself.
    void removeAll();

private:
    std::unique_ptr<TempResults> results_;
    QString sourcePath_;
    QSize sourceSize_;
    QVector<int> delays_{0};
    int chosenVariant_ = 0;
    QStringList converted_;
    QString shownResult_;
    long long shownBudget_ = 0;
    QHash<QString, SizeSettings> settings_;
    bool refitting_ = false;
    QString previousResult_;
    long long previousBudget_ = 0;
};

} // namespace qf::shell
