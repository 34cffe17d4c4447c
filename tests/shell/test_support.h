// Scripted stand-ins for the desktop, the settings store and the frame
// pipeline, and a writer of small animated GIFs for the window's tests.
#pragma once

#include "shell/form_batch.h"
#include "shell/image_work.h"
#include "shell/ui_services.h"
#include "shell/update_reminder.h"

#include <QDateTime>
#include <QHash>
#include <QImage>
#include <QMutex>
#include <QSemaphore>
#include <QStringList>
#include <QUrl>
#include <QVector>

#include <atomic>
#include <memory>

namespace qf::shell::test {

// Answers dialogs from queues and records every message box.
class FakeUi : public UiServices {
public:
    QStringList openAnswers;  // taken from the front; none left means "cancelled"
    QStringList saveAnswers;
    bool askAnswer = false;

    struct Message {
        QString kind; // "inform", "warn" or "ask"
        QString title;
        QString text;
    };
    QVector<Message> messages;
    QVector<QUrl> openedUrls;
    QStringList openFilters;
    QStringList saveFilters;
    QStringList openFolders;
    QStringList saveSuggestions;

    QString openFileName(QWidget*, const QString& filter, const QString& folder) override;
    QString saveFileName(QWidget*, const QString& filter, const QString& suggested) override;
    void inform(QWidget*, const QString& title, const QString& text) override;
    void warn(QWidget*, const QString& title, const QString& text) override;
    bool ask(QWidget*, const QString& title, const QString& text) override;
    void openUrl(const QUrl& url) override;
};

class MemorySettings : public SettingsStore {
public:
    QHash<QString, QString> values;
    int writes = 0;
    QString read(const QString& name) override { return values.value(name); }
    void write(const QString& name, const QString& value) override
    {
        values[name] = value;
        ++writes;
    }
};

// Reads GIFs with Qt's own decoder; the snapshots are frame 1 tinted per
// variant and a conversion writes one flat frame per source frame in the
// variant's colour, with the source's delays.
class FakeWork : public ImageWork {
public:
    std::atomic<int> opens{0};
    std::atomic<int> converts{0};
    std::atomic<bool> failConvert{false};
    // While set, a conversion waits for `release` after its first frame.
    std::atomic<bool> holdConvert{false};
    QSemaphore release;
    QSemaphore converting; // released once a held conversion is waiting

    static QColor VariantColour(int variant);

    bool open(const QString& path, const Switches& switches, const WorkProgress& progress,
              OpenedGif* gif, WorkError* error) override;
    bool convert(const QString& source, const QString& target, int variant,
                 const Switches& switches, const WorkProgress& progress,
                 WorkError* error) override;
};

// Writes an animated GIF of the frames (at most 256 colours in all) with the
// delays in hundredths of a second, looping forever.
bool WriteTestGif(const QString& path, const QVector<QImage>& frames, const QVector<int>& delays);

// Frames of a little scene: a graded sky and a dark ball that moves, so the
// effects have edges and colours to work on.
QVector<QImage> SceneFrames(int count, int width = 32, int height = 24);

// Frames and delays as Qt decodes them (delays in hundredths of a second).
struct DecodedGif {
    QVector<QImage> frames;
    QVector<int> delays;
};
DecodedGif DecodeGif(const QString& path);

// A window over fakes, in a private temporary folder, with no skin.
struct Fixture {
    std::shared_ptr<FakeUi> ui = std::make_shared<FakeUi>();
    std::shared_ptr<MemorySettings> settings = std::make_shared<MemorySettings>();
    std::shared_ptr<ImageWork> work;
    QDateTime now = QDateTime(QDate(2024, 3, 10), QTime(12, 0));
    QString systemTemp;

    Fixture(const QString& temp, std::shared_ptr<ImageWork> imageWork);
    FormServices services();
};

} // namespace qf::shell::test
