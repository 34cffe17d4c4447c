#include "shell/update_reminder.h"

#include <QCoreApplication>
#include <QSettings>
#include <QStringList>

namespace qf::shell {

QString UpdateQuestion()
{
    return QCoreApplication::translate(
        "qf::shell::UpdateReminder",
        "Do you want to visit our website to check if there is a new version released?");
}

QString QtSettingsStore::read(const QString& name)
{
    QSettings settings(QStringLiteral("Morvane"), QStringLiteral("Quillframe"));
    const QVariant value = settings.value(name);
    return value.canConvert<QString>() ? value.toString() : QString();
}

void QtSettingsStore::write(const QString& name, const QString& value)
{
    QSettings settings(QStringLiteral("Morvane"), QStringLiteral("Quillframe"));
    settings.setValue(name, value);
}

QString ReadSetting(SettingsStore& store, const QString& name)
{
    QString text = store.read(name);
    if (!text.isEmpty() && text.front() == QChar(u'\0'))
        return QString();
    if (!text.isEmpty() && text.back() == QChar(u'\0'))
        text.chop(1);
    return text;
}

void WriteSetting(SettingsStore& store, const QString& name, const QString& value)
{
    store.write(name, value);
}

namespace {

// The locale's short date format with a two-digit year widened to four: a
// stored "1/2/25" would otherwise read back as 1925.
QString FourDigitYearFormat(const QLocale& locale)
{
    QString format = locale.dateFormat(QLocale::ShortFormat);
    if (!format.contains(QStringLiteral("yyyy")))
        format.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
    return format;
}

bool HasTwoDigitYear(const QString& format)
{
    return format.contains(QStringLiteral("yy")) && !format.contains(QStringLiteral("yyyy"));
}

} // namespace

QString FormatReminderDate(const QDateTime& moment, const QLocale& locale)
{
    QString date = locale.toString(moment.date(), FourDigitYearFormat(locale)); // not const: returned by move
    if (moment.time() == QTime(0, 0))
        return date;
    return date + u' ' + locale.toString(moment.time(), QLocale::ShortFormat);
}

std::optional<QDateTime> ParseReminderDate(const QString& text, const QLocale& locale)
{
    const QString input = text.trimmed();
    if (input.isEmpty())
        return std::nullopt;

    const QString longDate = FourDigitYearFormat(locale);
    const QString shortDate = locale.dateFormat(QLocale::ShortFormat);
    const QString time = locale.timeFormat(QLocale::ShortFormat);
    const QString longTime = locale.timeFormat(QLocale::LongFormat);
    const QStringList dateTimeFormats = {
        longDate + u' ' + time,
        shortDate + u' ' + time,
        longDate + u' ' + longTime,
        shortDate + u' ' + longTime,
        QStringLiteral("yyyy-M-d H:mm:ss"),
        QStringLiteral("yyyy-M-d H:mm"),
    };
    for (const QString& format : dateTimeFormats) {
        QDateTime moment = locale.toDateTime(input, format);
        if (!moment.isValid())
            continue;
        if (HasTwoDigitYear(format.section(u' ', 0, 0)) && moment.date().year() < 2000)
            moment = moment.addYears(100);
        return moment;
    }

    const QStringList dateFormats = {longDate, shortDate, QStringLiteral("yyyy-M-d")};
    for (const QString& format : dateFormats) {
        QDate date = locale.toDate(input, format);
        if (!date.isValid())
            continue;
        if (HasTwoDigitYear(format) && date.year() < 2000)
            date = date.addYears(100);
        return QDateTime(date, QTime(0, 0));
    }

    const QDateTime iso = QDateTime::fromString(input, Qt::ISODate);
    if (iso.isValid())
        return iso;
    return std::nullopt;
}

int DayBoundaries(const QDateTime& from, const QDateTime& to)
{
    return static_cast<int>(from.date().daysTo(to.date()));
}

bool RunUpdateReminder(const ReminderContext& context)
{
    QString last = ReadSetting(*context.settings, kLastCheckUpdate);
    if (last.isEmpty())
        last = kNoReminderYet;

    const QDateTime now = context.now();
    // A text that is no date cannot be compared; it is treated as overdue so
    // that a valid date replaces it.
    if (const auto lastDate = ParseReminderDate(last, context.locale)) {
        const int days = DayBoundaries(*lastDate, now);
        if (days >= 0 && days <= kReminderDays)
            return false;
    }

    if (context.ask(UpdateQuestion()))
        context.openMakerSite();
    WriteSetting(*context.settings, kLastCheckUpdate, FormatReminderDate(now, context.locale));
    return true;
}

} // namespace qf::shell
