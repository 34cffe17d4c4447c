// The whole road through the real window and the real pipeline: open a
// generated GIF, pick a snapshot, convert, save twice.
#include "imaging/gif_reader.h"
#include "pipeline/convert.h"
#include "pipeline/pencil_texture.h"
#include "shell/form_batch.h"
#include "shell/pipeline_work.h"
#include "shell/result_viewer.h"
#include "shell/snapshot_list.h"
#include "shell/temp_results.h"
#include "test_support.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QProgressBar>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>

#include <set>

using namespace qf::shell;
using namespace qf::shell::test;

namespace {

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Decodes the result and checks every frame against the chain run directly
// on the matching source frame: exact where the frame fits a palette, close
// otherwise.
void CheckResult(const QString& result, const QString& source, int variant,
                 const std::vector<int>& delays)
{
    qf::imaging::GifReader in;
    qf::imaging::GifReader out;
    qf::imaging::Error error;
    QVERIFY(in.open(QFile::encodeName(source).toStdString(), &error));
    QVERIFY2(out.open(QFile::encodeName(result).toStdString(), &error), error.message().c_str());
    QCOMPARE(out.info().frameCount, in.info().frameCount);
    QCOMPARE(out.info().width, in.info().width);
    QCOMPARE(out.info().height, in.info().height);
    QCOMPARE(out.info().delays, delays);

    qf::EngineState state;
    qf::UseDefaultPencilTexture(state);
    for (int frame = 1; frame <= in.info().frameCount; ++frame) {
        qf::imaging::RgbaImage sourceFrame;
        qf::imaging::RgbaImage resultFrame;
        QVERIFY(in.readFrame(frame, sourceFrame, &error));
        QVERIFY(out.readFrame(frame, resultFrame, &error));
        qf::Picture expected;
        qf::RenderFrame(state, qf::ReadFrame(sourceFrame), variant, frame, qf::Switches{}, expected);
        std::set<std::uint32_t> colours;
        long difference = 0;
        bool differsFromSource = false;
        for (int y = 0; y < expected.height(); ++y) {
            for (int x = 0; x < expected.width(); ++x) {
                const std::uint8_t* e = expected.scanLine(y) + 4 * x;
                const std::uint8_t* r =
                    resultFrame.pixels.data() + 4 * (static_cast<std::size_t>(y) * resultFrame.width + x);
                const std::uint8_t* s =
                    sourceFrame.pixels.data() + 4 * (static_cast<std::size_t>(y) * sourceFrame.width + x);
                colours.insert(e[0] | e[1] << 8 | e[2] << 16);
                difference += std::abs(e[2] - r[0]) + std::abs(e[1] - r[1]) + std::abs(e[0] - r[2]);
                differsFromSource |= r[0] != s[0] || r[1] != s[1] || r[2] != s[2];
            }
        }
        QVERIFY(differsFromSource);
        if (colours.size() <= 256)
            QCOMPARE(difference, 0L);
        else
            QVERIFY(difference < 12L * expected.width() * expected.height());
    }
}

} // namespace

class RoadTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void fromGifToSavedSketch()
    {
        QTemporaryDir dir;
        const QString input = dir.filePath(QStringLiteral("walk.gif"));
        QVERIFY(WriteTestGif(input, SceneFrames(3), {10, 20, 30}));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("tmp")));
        Fixture fixture(dir.filePath(QStringLiteral("tmp")), std::make_shared<PipelineWork>());
        FormBatch window(fixture.services());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* list = window.findChild<SnapshotList*>(QStringLiteral("LVSnapshot"));
        auto* images = window.findChild<ImageList*>(QStringLiteral("ImageList1"));
        auto* viewer = window.findChild<ResultViewer*>(QStringLiteral("GdViewer1"));
        auto* bar = window.findChild<QToolBar*>(QStringLiteral("MainToolBar"));
        auto* progress = window.findChild<QProgressBar*>(QStringLiteral("ProgressConvert"));
        auto click = [&](int id) {
            QTest::mouseClick(bar->widgetForAction(window.findControl(id)), Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(!window.isBusy(), 30000);
        };

        // Open: the 17 snapshots of frame 1.
        fixture.ui->openAnswers = {input};
        QTest::mouseClick(window.findChild<QAbstractButton*>(QStringLiteral("BtnOpenFile")),
                          Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!window.isBusy(), 30000);
        QCOMPARE(fixture.ui->messages.size(), 0);
        QCOMPARE(window.currentStep(), 2);
        QCOMPARE(window.frameCount(), 3);
        QCOMPARE(window.frameDelays(), (QVector<int>{0, 10, 20, 30}));
        QCOMPARE(list->count(), 17);
        QCOMPARE(images->count(), 17);
        QCOMPARE(list->item(0)->checkState(), Qt::Checked);

        // Tick item 5 and convert: variant 4, per frame, with the delays.
        QSignalSpy steps(progress, &QProgressBar::valueChanged);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(4)).center());
        QCOMPARE(list->firstTickedRow(), 4);
        click(ID_NEXT);
        QCOMPARE(fixture.ui->messages.size(), 0);
        QCOMPARE(window.currentStep(), 3);
        QCOMPARE(window.chosenVariant(), 4);
        QCOMPARE(progress->value(), 100);
        const QString result = window.tempResults().file(4);
        QCOMPARE(viewer->fileName(), result);
        QCOMPARE(viewer->frameCount(), 3);
        CheckResult(result, input, 4, {10, 20, 30});
        if (QTest::currentTestFailed())
            return;

        // Save, and save again elsewhere: two identical copies of the result.
        const QString first = dir.filePath(QStringLiteral("sketch.gif"));
        const QString second = dir.filePath(QStringLiteral("copy/again.gif"));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("copy")));
        fixture.ui->saveAnswers = {first, second};
        click(ID_SAVE);
        click(ID_SAVE);
        QCOMPARE(fixture.ui->messages.size(), 0);
        const QByteArray bytes = ReadAll(result);
        QVERIFY(bytes.startsWith("GIF8"));
        QCOMPARE(ReadAll(first), bytes);
        QCOMPARE(ReadAll(second), bytes);

        // The pencil variant: its paper changes with the frame number, so this
        // also shows the frames arrive numbered 1, 2, 3.
        click(ID_BACK);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(2)).center());
        click(ID_NEXT);
        QCOMPARE(window.chosenVariant(), 2);
        CheckResult(window.tempResults().file(2), input, 2, {10, 20, 30});
        if (QTest::currentTestFailed())
            return;
        QVERIFY(QFile::exists(result));

        window.close();
        for (const QString& file : window.tempResults().files())
            QVERIFY(!QFile::exists(file));
    }

    void aGifThatIsNoGifIsReported_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("kind");
        QTest::newRow("not a GIF") << QByteArray("PNG? no, plain text") << "warn";
        QTest::newRow("cut short") << QByteArray("GIF89a\x20\x00") << "warn";
        QTest::newRow("empty file") << QByteArray() << "warn";
    }

    void aGifThatIsNoGifIsReported()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("bad.gif"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        const QString still = dir.filePath(QStringLiteral("still.gif"));
        QVERIFY(WriteTestGif(still, SceneFrames(1), {0}));

        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("tmp")));
        Fixture fixture(dir.filePath(QStringLiteral("tmp")), std::make_shared<PipelineWork>());
        FormBatch window(fixture.services());
        auto* open = window.findChild<QAbstractButton*>(QStringLiteral("BtnOpenFile"));
        window.show();
        fixture.ui->openAnswers = {path, still};
        QTest::mouseClick(open, Qt::LeftButton);
        QTRY_VERIFY(!window.isBusy());
        QCOMPARE(fixture.ui->messages.size(), 1);
        QCOMPARE(fixture.ui->messages[0].kind, kind);
        QVERIFY2(fixture.ui->messages[0].text.contains(path), qPrintable(fixture.ui->messages[0].text));
        QCOMPARE(window.currentStep(), 1);

        QTest::mouseClick(open, Qt::LeftButton);
        QTRY_VERIFY(!window.isBusy());
        QCOMPARE(fixture.ui->messages.size(), 2);
        QCOMPARE(fixture.ui->messages[1].kind, QStringLiteral("inform"));
        QCOMPARE(fixture.ui->messages[1].text, kNotAnimated);
    }
};

QTEST_MAIN(RoadTest)
#include "road_test.moc"
