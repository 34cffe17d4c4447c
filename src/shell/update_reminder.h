// The settings store and the periodic update reminder.
//
// The only setting is "LastCheckUpdate": the date and time of the last
// reminder, kept as the locale's short date followed by its time (the time
// left out at exactly midnight). At start-up, when more than 15 calendar days
// have passed since then, or the stored date lies in the future, or the text
// is not a date at all, the user is asked whether to visit the maker's web
// site, and the current moment is stored whatever the answer.
#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <functional>
#include <optional>

namespace qf::shell {

// Text values under one per-user key.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // The stored text, or empty text when the value is missing or unreadable.
    virtual QString read(const QString& name) = 0;
    virtual void write(const QString& name, const QString& value) = 0;
};

// QSettings("Morvane", "Quillframe"): on Windows the registry key
// HKEY_CURRENT_USER\Software\Morvane\Quillframe, elsewhere the user's
// configuration folder.
class QtSettingsStore : public SettingsStore {
public:
    QString read(const QString& name) override;
    void write(const QString& name, const QString& value) override;
};

inline const QString kLastCheckUpdate = QStringLiteral("LastCheckUpdate");
// What a missing or empty value stands for: long ago, so the first start asks.
inline const QString kNoReminderYet = QStringLiteral("2005-1-1");
inline constexpr int kReminderDays = 15;

// A stored text cleaned of the NUL a foreign writer may have left: a text
// that starts with NUL is empty, a trailing NUL is dropped.
QString ReadSetting(SettingsStore& store, const QString& name);
void WriteSetting(SettingsStore& store, const QString& name, const QString& value);

// The moment as the locale's short date (year always in four digits, so that
// it reads back in the right century) and short time; midnight gives the date
// alone.
QString FormatReminderDate(const QDateTime& moment, const QLocale& locale = QLocale());

// Reads text written by FormatReminderDate, the locale's own short formats
// and the year-month-day form of the default; nothing when it is no date.
std::optional<QDateTime> ParseReminderDate(const QString& text, const QLocale& locale = QLocale());

// Midnights passed from the date of `from` to the date of `to`; negative when
// `from` lies after `to`. Times of day do not count.
int DayBoundaries(const QDateTime& from, const QDateTime& to);

struct ReminderContext {
    SettingsStore* settings = nullptr;
    std::function<QDateTime()> now;                   // local time
    std::function<bool(const QString& question)> ask; // Yes/No, question icon
    std::function<void()> openMakerSite;
    QLocale locale;
};

// Runs the reminder; returns true when the question was asked.
bool RunUpdateReminder(const ReminderContext& context);

// The question of the reminder, in the user's language.
QString UpdateQuestion();

} // namespace qf::shell
