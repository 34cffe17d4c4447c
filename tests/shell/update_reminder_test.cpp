// The update reminder's calendar arithmetic and its stored date text, with an
// injected clock, settings store and site opener.
#include "shell/update_reminder.h"
#include "test_support.h"

#include <QStandardPaths>
#include <QTest>

using namespace qf::shell;
using namespace qf::shell::test;

namespace {

struct Run {
    bool asked = false;
    int sitesOpened = 0;
    QString stored;
    int writes = 0;
};

Run Remind(const QString* stored, const QDateTime& now, bool answer,
           const QLocale& locale = QLocale(QLocale::English, QLocale::UnitedStates))
{
    MemorySettings settings;
    if (stored)
        settings.values[kLastCheckUpdate] = *stored;
    Run run;
    ReminderContext context;
    context.settings = &settings;
    context.now = [now] { return now; };
    int questions = 0;
    context.ask = [&](const QString& question) {
        questions += question == UpdateQuestion() ? 1 : 100;
        return answer;
    };
    context.openMakerSite = [&] { ++run.sitesOpened; };
    context.locale = locale;
    run.asked = RunUpdateReminder(context);
    if (questions != (run.asked ? 1 : 0))
        qFatal("the reminder asked %d questions", questions);
    run.stored = settings.values.value(kLastCheckUpdate);
    run.writes = settings.writes;
    return run;
}

const QLocale kUs(QLocale::English, QLocale::UnitedStates);

QString Us(const QDateTime& moment)
{
    return FormatReminderDate(moment, kUs);
}

} // namespace

class UpdateReminderTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void asksWhenOverdue_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<bool>("asks");

        const QDateTime noon(QDate(2024, 3, 20), QTime(12, 0));
        QTest::newRow("15 days ago") << Us(noon.addDays(-15)) << noon << false;
        QTest::newRow("16 days ago") << Us(noon.addDays(-16)) << noon << true;
        QTest::newRow("15 calendar days, late evening to early morning")
            << Us(QDateTime(QDate(2024, 3, 5), QTime(23, 59))) << QDateTime(QDate(2024, 3, 20), QTime(0, 1))
            << false;
        QTest::newRow("16 calendar days though under 15 x 24 hours later")
            << Us(QDateTime(QDate(2024, 3, 4), QTime(23, 59))) << QDateTime(QDate(2024, 3, 20), QTime(0, 1))
            << true;
        QTest::newRow("yesterday 23:59, now 00:01")
            << Us(QDateTime(QDate(2024, 3, 19), QTime(23, 59))) << QDateTime(QDate(2024, 3, 20), QTime(0, 1))
            << false;
        QTest::newRow("earlier today") << Us(noon.addSecs(-3600)) << noon << false;
        QTest::newRow("midnight, date only") << Us(QDateTime(QDate(2024, 3, 10), QTime(0, 0)))
                                             << noon << false;
        QTest::newRow("tomorrow: clock set back") << Us(noon.addDays(1)) << noon << true;
        QTest::newRow("not a date") << QStringLiteral("soon") << noon << true;
        QTest::newRow("empty means 2005") << QString() << noon << true;
        QTest::newRow("the default text itself") << QStringLiteral("2005-1-1")
                                                 << QDateTime(QDate(2005, 1, 10), QTime(9, 0)) << false;
        QTest::newRow("trailing NUL is dropped") << Us(noon.addDays(-2)) + QChar(u'\0') << noon
                                                 << false;
        QTest::newRow("leading NUL reads as empty")
            << QString(QChar(u'\0')) + Us(noon.addDays(-2)) << noon << true;
        QTest::newRow("the locale's own two-digit year")
            << QStringLiteral("3/18/24 9:30 AM") << noon << false;
    }

    void asksWhenOverdue()
    {
        QFETCH(QString, stored);
        QFETCH(QDateTime, now);
        QFETCH(bool, asks);
        const Run run = Remind(&stored, now, false);
        QCOMPARE(run.asked, asks);
        // Asking stores the moment; not asking writes nothing at all.
        QCOMPARE(run.writes, asks ? 1 : 0);
        if (asks)
            QCOMPARE(run.stored, Us(now));
        else
            QCOMPARE(run.stored, stored);
    }

    void theAnswerDecidesOnlyTheSite()
    {
        const QDateTime now(QDate(2024, 3, 20), QTime(8, 15));
        const Run yes = Remind(nullptr, now, true);
        QVERIFY(yes.asked);
        QCOMPARE(yes.sitesOpened, 1);
        QCOMPARE(yes.stored, Us(now));

        const Run no = Remind(nullptr, now, false);
        QVERIFY(no.asked);
        QCOMPARE(no.sitesOpened, 0);
        QCOMPARE(no.stored, Us(now));

        // The next question comes 16 calendar days later at the earliest.
        QVERIFY(!Remind(&no.stored, now.addDays(15), false).asked);
        QVERIFY(Remind(&no.stored, now.addDays(16), false).asked);
    }

    void theDateTextReadsBack_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QDateTime>("moment");
        const QDateTime afternoon(QDate(2031, 11, 2), QTime(16, 45));
        const QDateTime midnight(QDate(2027, 1, 9), QTime(0, 0));
        for (const QLocale& locale :
             {kUs, QLocale(QLocale::English, QLocale::UnitedKingdom),
              QLocale(QLocale::German, QLocale::Germany), QLocale(QLocale::French, QLocale::France),
              QLocale(QLocale::Japanese, QLocale::Japan), QLocale(QLocale::Russian, QLocale::Russia)}) {
            QTest::addRow("%s afternoon", qPrintable(locale.name())) << locale << afternoon;
            QTest::addRow("%s midnight", qPrintable(locale.name())) << locale << midnight;
        }
    }

    void theDateTextReadsBack()
    {
        QFETCH(QLocale, locale);
        QFETCH(QDateTime, moment);
        const QString text = FormatReminderDate(moment, locale);
        QVERIFY2(text.contains(QString::number(moment.date().year())), qPrintable(text));
        const auto back = ParseReminderDate(text, locale);
        QVERIFY2(back.has_value(), qPrintable(text));
        QCOMPARE(*back, moment);
    }

    void midnightLeavesTheTimeOut()
    {
        QCOMPARE(Us(QDateTime(QDate(2027, 1, 9), QTime(0, 0))), QStringLiteral("1/9/2027"));
        QCOMPARE(Us(QDateTime(QDate(2027, 1, 9), QTime(0, 1))), QStringLiteral("1/9/2027 12:01 AM"));
    }

    void dayBoundariesCountMidnights()
    {
        const QDate day(2024, 2, 28);
        QCOMPARE(DayBoundaries(QDateTime(day, QTime(23, 59)), QDateTime(day.addDays(1), QTime(0, 1))), 1);
        QCOMPARE(DayBoundaries(QDateTime(day, QTime(0, 0)), QDateTime(day, QTime(23, 59))), 0);
        QCOMPARE(DayBoundaries(QDateTime(day, QTime(12, 0)), QDateTime(QDate(2024, 3, 1), QTime(1, 0))), 2);
        QCOMPARE(DayBoundaries(QDateTime(day, QTime(12, 0)), QDateTime(day.addDays(-3), QTime(12, 0))), -3);
    }

    void theQtStoreKeepsTheValue()
    {
        QtSettingsStore store;
        store.write(kLastCheckUpdate, QStringLiteral("written"));
        QCOMPARE(QtSettingsStore().read(kLastCheckUpdate), QStringLiteral("written"));
        QCOMPARE(store.read(QStringLiteral("NoSuchValue")), QString());
    }
};

QTEST_GUILESS_MAIN(UpdateReminderTest)
#include "update_reminder_test.moc"
