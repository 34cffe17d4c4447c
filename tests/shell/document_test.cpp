// The window's document: the names of its result files, which results it
// shows again without converting, a refit that fails, the play time, and
// the files it leaves behind (none).
#include "shell/document.h"
#include "shell/temp_results.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using qf::Switches;
using qf::shell::Document;

namespace {

void Touch(const QString& path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("GIF89a");
}

} // namespace

class DocumentTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void resultNames_data()
    {
        QTest::addColumn<int>("variant");
        QTest::addColumn<Switches>("switches");
        QTest::addColumn<long long>("budget");
        QTest::addColumn<QString>("name");
        Switches colour;
        colour.ColorSketch = 1;
        Switches plain;
        plain.MixColor = plain.Adjust = 0;
        plain.Blur = 1;
        QTest::newRow("default switches") << 3 << Switches{} << 0LL << "qfTmp$_3.gif";
        QTest::newRow("within 256 KB") << 3 << Switches{} << 262144LL << "qfTmp$_3_262144.gif";
        QTest::newRow("colour sketch") << 16 << colour << 0LL << "qfTmp$_16_10110.gif";
        QTest::newRow("blur, no mixing, no depth, 5 MB")
            << 0 << plain << 5242880LL << "qfTmp$_0_00001_5242880.gif";
    }
    void resultNames()
    {
        QFETCH(int, variant);
        QFETCH(Switches, switches);
        QFETCH(long long, budget);
        QFETCH(QString, name);
        QTemporaryDir temp;
        Document document(temp.path());
        document.choose(variant);
        QCOMPARE(document.target(switches, budget), document.tempResults().folder() + name);
    }

    void onlyItsOwnResultsAreShownAgainAndAllGo()
    {
        QTemporaryDir temp;
        Document document(temp.path());
        const QString folder = document.tempResults().folder();
        Touch(folder + "qfTmp$_5.gif"); // left by a run that was killed
        Document again(temp.path());
        QVERIFY(!QFile::exists(folder + "qfTmp$_5.gif"));

        again.open("a.gif", QSize(40, 30));
        again.choose(2);
        const QString planted = again.target({}, 0);
        Touch(planted); // not made by this window: converted anyway
        QVERIFY(!again.show(planted, 0));
        QVERIFY(again.show(planted, 0)); // made now: shown as it is
        const QString fitted = again.target({}, 262144);
        QVERIFY(!again.show(fitted, 262144));
        Touch(fitted);
        again.open("b.gif", QSize(40, 30)); // another GIF: every result goes
        QVERIFY(!QFile::exists(planted));
        QVERIFY(!QFile::exists(fitted));
        QVERIFY(again.shownResult().isEmpty());
        again.removeAll();
        QVERIFY(!QDir(folder).exists());
    }

    void aFailedRefitKeepsTheResultShown()
    {
        QTemporaryDir temp;
        Document document(temp.path());
        document.show(document.target({}, 0), 0);
        document.beginRefit();
        document.show(document.target({}, 262144), 262144);
        QVERIFY(document.endRefit(false));
        QCOMPARE(document.shownResult(), document.target({}, 0));
        QCOMPARE(document.shownBudget(), 0LL);
        document.beginRefit();
        document.show(document.target({}, 8 << 20), 8 << 20);
        QVERIFY(document.endRefit(true));
        QCOMPARE(document.shownBudget(), 8LL << 20);
        QVERIFY(!document.endRefit(true)); // none in hand
    }

    void framesAndPlayingTime()
    {
        QTemporaryDir temp;
        Document document(temp.path());
        document.setFrames({0, 1, 5, 10});
        QCOMPARE(document.frameCount(), 4);
        QCOMPARE(document.frameDelays(), (QVector<int>{0, 0, 1, 5, 10}));
        // Delays of 0 and 1 hundredth play at 100 ms, as in browsers.
        QCOMPARE(document.playingMs(), 100 + 100 + 50 + 100);
    }
};

QTEST_GUILESS_MAIN(DocumentTest)
#include "document_test.moc"
