// The window's tests run it over a scripted desktop and settings store and
// the real frame pipeline, which a test can hold or make fail.
#pragma once

#include "support.h"

#include "shell/form_batch.h"
#include "shell/pipeline_work.h"
#include "shell/ui_services.h"
#include "shell/update_reminder.h"

#include <QAction>
#include <QDateTime>
#include <QHash>
#include <QSemaphore>
#include <QStringList>

#include <atomic>
#include <cmath>

namespace qf::shell::test {

// Answers dialogs from queues (none left: cancelled) and records messages.
class FakeUi : public UiServices {
public:
    QStringList openAnswers, saveAnswers, suggestions; // suggestions: the names Save offered
    QStringList saveFilters; // the file type chosen with each save answer (none left: the first)
    QStringList openFolders; // where each open dialog started
    QStringList messages;    // "kind: text"
    bool yes = false;        // the answer to every question

    static QString Next(QStringList& answers) { return answers.isEmpty() ? QString() : answers.takeFirst(); }
    QString openFileName(QWidget*, const QString&, const QString& folder) override
    {
        return openFolders.append(folder), Next(openAnswers);
    }
    QString saveFileName(QWidget*, const QString& filters, const QString& offered, QString* chosen) override
    {
        *chosen = saveFilters.isEmpty() ? filters.section(";;", 0, 0) : saveFilters.takeFirst();
        return suggestions.append(offered), Next(saveAnswers);
    }
    void inform(QWidget*, const QString&, const QString& text) override
    {
        messages.append("inform: " + text);
    }
    void warn(QWidget*, const QString&, const QString& text) override { messages.append("warn: " + text); }
    bool ask(QWidget*, const QString&, const QString& text) override
    {
        return messages.append("ask: " + text), yes;
    }
    bool browser = true; // whether a browser opens
    QStringList urls;
    bool openUrl(const QUrl& url) override { return urls.append(url.toString()), browser; }
};

class MemorySettings : public SettingsStore {
public:
    QHash<QString, QString> values;
    int writes = 0;
    QString read(const QString& name) override { return values.value(name); }
    void write(const QString& name, const QString& value) override { values[name] = value, ++writes; }
};

class TestWork : public PipelineWork {
public:
    std::atomic<int> converts{0};
    std::atomic<bool> fail{false};
    std::atomic<bool> hold{false}; // wait for `release` first, announced on `converting`
    QSemaphore release, converting;
    std::vector<int> reported; // the percentages the conversion reported, in order

    bool convert(const QString& source, const TimelineOptions& timeline, const QString& target, int variant,
                 const Switches& switches, const WorkProgress& progress, imaging::Error* error) override
    {
        ++converts;
        if (fail) {
            *error =
                MakeError(imaging::ErrorKind::Unwritable, target, QStringLiteral("no space left on device"));
            return false;
        }
        if (hold)
            converting.release();
        while (hold && !release.tryAcquire(1, 5))
            if (progress && !progress(0))
                return false;
        reported.clear();
        // One frame at a time: no lock needed. A negative percent carries no
        // news (it only asks whether to go on), so it is not recorded.
        const WorkProgress recording = [&](double percent) {
            const int shown = static_cast<int>(std::lround(percent));
            if (percent >= 0 && (reported.empty() || reported.back() != shown))
                reported.push_back(shown);
            return !progress || progress(percent);
        };
        return PipelineWork::convert(source, timeline, target, variant, switches, recording, error);
    }
};

// Runs the window's command as its shortcut or button does.
inline void Trigger(FormBatch& window, const char* name)
{
    window.findChild<QAction*>(QString::fromLatin1(name))->trigger();
}

struct Fixture {
    std::shared_ptr<FakeUi> ui = std::make_shared<FakeUi>();
    std::shared_ptr<MemorySettings> settings = std::make_shared<MemorySettings>();
    std::shared_ptr<TestWork> work = std::make_shared<TestWork>();
    QDateTime now = QDateTime(QDate(2024, 3, 10), QTime(12, 0));

    // A reminder given yesterday: no question at start-up.
    Fixture() { settings->values[kLastCheckUpdate] = FormatReminderDate(now.addDays(-1)); }
    FormServices services(const QString& systemTemp)
    {
        return {ui, settings, [this] { return now; }, work, systemTemp, {}};
    }
};

} // namespace qf::shell::test
