// Every writer under every write fault: a size-limited (full) file system, a
// missing folder, a path under a regular file, a folder in the way, a
// read-only folder, a link another user planted in a folder others can
// write (sticky or not). Each fails with a message
// naming the destination, keeps the file that was there, and leaves nothing
// beside it.
#include "support.h"

#include "imaging/files/temporary_names.h"
#include "imaging/gif/gif_writer.h"
#include "imaging/png/png_io.h"
#include "pipeline/batch.h"
#include "pipeline/convert.h"
#ifdef QF_TEST_WINDOW_SAVE
#include "shell/file_copy.h"
#endif

#include <gtest/gtest.h>

#include <atomic>

#include <sys/wait.h>
#include <unistd.h>

namespace qf::test {
namespace {

// Noise: hundreds of colours that cannot compress below the size limit.
imaging::RgbaImage Noise(int seed)
{
    imaging::RgbaImage image{64, 64, std::vector<std::uint8_t>(64 * 64 * 4)};
    std::uint32_t state = 2654435761u * static_cast<std::uint32_t>(seed + 1);
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        state = state * 1664525u + 1013904223u;
        image.pixels[i] = i % 4 == 3 ? 255 : static_cast<std::uint8_t>(state >> 24);
    }
    return image;
}

// Each writer writes to the destination and returns its error message,
// empty after a success.
using Writer = std::function<std::string(const std::string& destination)>;

// Every writer: a noisy animation, a PNG, a conversion of gif, the window's saves of gif.
std::vector<std::pair<std::string, Writer>> Writers(const std::string& gif)
{
    std::vector<std::pair<std::string, Writer>> writers = {
        {"animation",
         [](const std::string& destination) {
             imaging::GifAnimationWriter writer;
             imaging::Error error;
             bool ok = writer.open(destination, 64, 64, 0, &error);
             for (int f = 0; ok && f < 8; ++f)
                 ok = writer.addFrame(imaging::ImageView::of(Noise(f)), 10, &error);
             return ok && writer.finish(&error) ? "" : error.message();
         }},
        {"png",
         [](const std::string& destination) {
             imaging::Error error;
             return imaging::WritePng(destination, imaging::ImageView::of(Noise(1)), &error)
                        ? ""
                        : error.message();
         }},
        {"conversion",
         [&](const std::string& destination) {
             imaging::Error error;
             ConvertOptions options;
             options.threads = 1;
             return ConvertAllFrames(gif, destination, options, &error) ? "" : error.message();
         }},
        {"MP4 conversion",
         [&](const std::string& destination) {
             imaging::Error error;
             ConvertOptions options;
             options.threads = 1;
             options.output.format = imaging::OutputFormat::Mp4;
             return ConvertAllFrames(gif, destination, options, &error) ? "" : error.message();
         }},
#ifdef QF_TEST_WINDOW_SAVE
        {"window save",
         [&](const std::string& destination) {
             imaging::Error error;
             shell::CopyFileAtomically(QString::fromStdString(gif), QString::fromStdString(destination),
                                       &error);
             return error.message();
         }},
#endif
    };
#ifdef QF_TEST_WINDOW_SAVE
    // The WebP save starts from the noisy animation, which cannot compress
    // below the size limit as the small one does.
    const std::string noisy = gif + "-noise.gif";
    EXPECT_EQ(writers[0].second(noisy), "");
    writers.push_back({"window WebP save", [noisy](const std::string& destination) {
                           imaging::Error error;
                           shell::WriteWebpFromGif(QString::fromStdString(noisy),
                                                   QString::fromStdString(destination), &error);
                           return error.message();
                       }});
#endif
    return writers;
}

TEST(WriteFaults, EveryWriterKeepsWhatWasThere)
{
    TempDir sources;
    const std::string gif = sources.file("source.gif");
    WriteBytes(gif, SmallAnimation(96, 96, 6));
    const Bytes previous = {'p', 'r', 'e', 'v', 'i', 'o', 'u', 's'};
    // Destinations in the test's folder; a full disk is a file size limit;
    // shared/out.gif and open/out.gif are another user's links to out.gif in
    // a sticky world-writable folder and in a world-writable one.
    const std::vector<std::pair<std::string, long long>> faults = {
        {"out.gif", 1024},      {"missing/out.gif", -1}, {"out.gif/inside.gif", -1}, {"folder", -1},
        {"locked/out.gif", -1}, {"shared/out.gif", -1},  {"open/out.gif", -1}};
    if (SecondUser() < 0)
        std::printf("not root: the rows with another user's links are skipped\n");
    for (const auto& [writerName, write] : Writers(gif)) {
        for (const auto& [name, sizeLimit] : faults) {
            if ((name == "locked/out.gif" && geteuid() == 0)
                || ((name == "shared/out.gif" || name == "open/out.gif") && SecondUser() < 0))
                continue; // root writes into read-only folders, and only root plants another user's link
            SCOPED_TRACE(writerName + " to " + name);
            TempDir dir;
            for (const char* file : {"out.gif", "locked/out.gif"}) {
                std::filesystem::create_directories(dir.file("locked"));
                WriteBytes(dir.file(file), previous);
            }
            std::filesystem::create_directories(dir.file("folder"));
            for (const char* shared : {"shared", "open"}) {
                std::filesystem::create_directories(dir.file(shared));
                std::filesystem::permissions(dir.file(shared),
                                             std::filesystem::perms::all
                                                 | (*shared == 's' ? std::filesystem::perms::sticky_bit
                                                                   : std::filesystem::perms::none));
                std::filesystem::create_symlink("../out.gif", dir.file(shared) + "/out.gif");
                GiveToSecondUser(dir.file(shared) + "/out.gif");
            }
            std::filesystem::permissions(dir.file("locked"), std::filesystem::perms::owner_read
                                                                 | std::filesystem::perms::owner_exec);
            const std::vector<std::string> before = dir.list();
            const std::string destination = dir.file(name);
            Limits limits;
            limits.fileSizeBytes = sizeLimit;
            const ChildResult child = RunInChild(
                [&, &write = write] {
                    const std::string message = write(destination);
                    std::printf("%s\n", message.empty() ? "succeeded" : message.c_str());
                    return message.find(destination) == std::string::npos;
                },
                limits);
            EXPECT_TRUE(child.clean() && child.exitCode == 0) << child.describe();
            EXPECT_EQ(ReadBytes(dir.file("out.gif")), previous);
            EXPECT_EQ(ReadBytes(dir.file("locked/out.gif")), previous);
            EXPECT_EQ(dir.list(), before);
            EXPECT_TRUE(std::filesystem::is_empty(dir.file("folder")));
        }
    }
}

// What a write replaces like for like: the old file's permission bits, the
// file a link names (a dangling link's target is created), a name too long
// to take a temporary suffix; and a killed writer's temporary file goes.
TEST(WriteFaults, EveryWriterReplacesLikeForLike)
{
    TempDir sources;
    const std::string gif = sources.file("source.gif");
    WriteBytes(gif, SmallAnimation(96, 96, 6));
    const pid_t gone = fork();
    if (gone == 0)
        _exit(0);
    waitpid(gone, nullptr, 0);
    const std::string stale = ".out.gif.qf-" + std::to_string(gone) + "-0-0.tmp";
    const std::string live = ".out.gif.qf-" + std::to_string(getpid()) + "-0-0.tmp";
    const std::string longName = std::string(240, 'n') + ".gif";
    struct Case {
        std::string destination, written;        // written: the file that changes
        std::vector<std::string> alsoThere = {}; // besides link.gif, out.gif and the live writer's file
    };
    const std::vector<Case> cases = {{"out.gif", "out.gif"},
                                     {"link.gif", "out.gif"},
                                     {"dangling.gif", "made.gif", {"dangling.gif", "made.gif"}},
                                     {longName, longName, {longName}}};
    for (const auto& [writerName, write] : Writers(gif)) {
        for (const Case& c : cases) {
            SCOPED_TRACE(writerName + " to " + c.destination);
            TempDir dir;
            WriteBytes(dir.file("out.gif"), {'o', 'l', 'd'});
            const auto mode = std::filesystem::perms::owner_read | std::filesystem::perms::owner_write;
            std::filesystem::permissions(dir.file("out.gif"), mode);
            std::filesystem::create_symlink("out.gif", dir.file("link.gif"));
            std::filesystem::create_symlink("made.gif", dir.file("dangling.gif"));
            for (const std::string& name : {stale, live})
                WriteBytes(dir.file(name), {'x'});
            const std::string message = write(dir.file(c.destination));
            ASSERT_EQ(message, "");
            EXPECT_GT(ReadBytes(dir.file(c.written)).size(), 3u);
            EXPECT_EQ(std::filesystem::status(dir.file("out.gif")).permissions(), mode);
            std::vector<std::string> expected = {live, "dangling.gif", "link.gif", "out.gif"};
            expected.insert(expected.end(), c.alsoThere.begin(), c.alsoThere.end());
            std::sort(expected.begin(), expected.end());
            expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
            EXPECT_EQ(dir.list(), expected);
        }
    }
}

// Abandoned half-way, by abort() or by going out of scope: the file that
// was there stays, with nothing beside it.
TEST(WriteFaults, AnAbandonedAnimationLeavesNothing)
{
    TempDir dir;
    const Bytes previous = {'o', 'l', 'd'};
    WriteBytes(dir.file("out.gif"), previous);
    for (const bool explicitly : {true, false}) {
        imaging::GifAnimationWriter writer;
        imaging::Error error;
        ASSERT_TRUE(writer.open(dir.file("out.gif"), 64, 64, 0, &error)) << error.message();
        ASSERT_TRUE(writer.addFrame(imaging::ImageView::of(Noise(3)), 5, &error));
        if (explicitly)
            writer.abort();
    }
    EXPECT_EQ(ReadBytes(dir.file("out.gif")), previous);
    EXPECT_EQ(dir.list(), std::vector<std::string>{"out.gif"});
}

// Names in folder, sorted.
std::vector<std::string> Names(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Another user, who can write the folder the frames go in, swaps the frame
// folder for a link to one of the user's own folders after frame 2: every
// frame still goes to the folder that was made, and nothing in the user's
// folder is replaced or removed (a longer animation's frame-0009.png there
// is what surplus-frame removal would take).
TEST(WriteFaults, AFrameFolderSwappedMidRunLeadsNoWriteElsewhere)
{
    TempDir dir;
    WriteBytes(dir.file("in.gif"), SmallAnimation(24, 20, 8));
    std::filesystem::create_directories(dir.file("shared"));
    std::filesystem::create_directories(dir.file("mine"));
    const Bytes previous = {'k', 'e', 'e', 'p'};
    for (const char* name : {"/frame-0005.png", "/frame-0009.png"})
        WriteBytes(dir.file("mine") + name, previous);
    BatchJob job;
    job.input = dir.file("in.gif");
    job.output = dir.file("out.gif");
    job.pngFramesDir = dir.file("shared/pf");
    BatchOptions options;
    options.convert.threads = 1; // two frames in flight: frames 5 to 8 are written after the swap
    bool swapped = false;
    options.progress = [&](const BatchProgress& at) {
        if (at.jobFrame >= 2 && !swapped) {
            swapped = true;
            std::filesystem::rename(dir.file("shared/pf"), dir.file("shared/moved"));
            std::filesystem::create_directory_symlink(dir.file("mine"), dir.file("shared/pf"));
        }
        return true;
    };
    const std::vector<JobOutcome> outcomes = ConvertBatch({job}, options);
    ASSERT_TRUE(swapped);
    EXPECT_FALSE(outcomes[0].error) << outcomes[0].error.message();
    EXPECT_EQ(Names(dir.file("mine")), (std::vector<std::string>{"frame-0005.png", "frame-0009.png"}));
    for (const char* name : {"/frame-0005.png", "/frame-0009.png"})
        EXPECT_EQ(ReadBytes(dir.file("mine") + name), previous) << name;
    EXPECT_EQ(Names(dir.file("shared/moved")).size(), 8u);
}

// The same swap for the results of several inputs in one --out-dir folder:
// made after the first frame, before any result is in place, it leads no
// result into the user's folder.
TEST(WriteFaults, AnOutputFolderSwappedMidRunLeadsNoWriteElsewhere)
{
    TempDir dir;
    std::filesystem::create_directories(dir.file("shared/res"));
    std::filesystem::create_directories(dir.file("mine"));
    const Bytes previous = {'k', 'e', 'e', 'p'};
    imaging::OutputFolder results;
    imaging::Error error;
    ASSERT_TRUE(imaging::OpenOutputFolder(dir.file("shared/res"), &results, &error)) << error.message();
    std::vector<BatchJob> jobs;
    for (const char* name : {"a", "b"}) {
        WriteBytes(dir.file(std::string(name) + ".gif"), SmallAnimation(24, 20, 4));
        WriteBytes(dir.file("mine/") + name + ".gif", previous);
        BatchJob& job = jobs.emplace_back();
        job.input = dir.file(std::string(name) + ".gif");
        job.output = std::string(name) + ".gif";
        job.outputFolder = results;
    }
    BatchOptions options;
    std::atomic<bool> swapped{false};
    options.progress = [&](const BatchProgress&) {
        if (!swapped.exchange(true)) {
            std::filesystem::rename(dir.file("shared/res"), dir.file("shared/moved"));
            std::filesystem::create_directory_symlink(dir.file("mine"), dir.file("shared/res"));
        }
        return true;
    };
    const std::vector<JobOutcome> outcomes = ConvertBatch(jobs, options);
    ASSERT_TRUE(swapped);
    for (const JobOutcome& outcome : outcomes)
        EXPECT_FALSE(outcome.error) << outcome.error.message();
    for (const char* name : {"/a.gif", "/b.gif"})
        EXPECT_EQ(ReadBytes(dir.file("mine") + name), previous) << name;
    EXPECT_EQ(Names(dir.file("shared/moved")), (std::vector<std::string>{"a.gif", "b.gif"}));
}

// A program that ends at once on a stop request takes the temporary files
// and folders that have names with it, and only those still in use.
TEST(WriteFaults, AnEndOnAStopRequestRemovesTheNamedTemporaries)
{
    TempDir dir;
    std::filesystem::create_directories(dir.file("work"));
    for (const char* name : {"work/pass-1", "work/pass-2", "out.gif.fit-1", "done.tmp"})
        WriteBytes(dir.file(name), {'x'});
    const pid_t child = fork();
    if (child == 0) {
        // Folders the run made for frames: its pictures go, and the folder
        // with them unless something else is in it.
        imaging::OutputFolder frames, shared;
        imaging::Error error;
        if (!imaging::OpenOutputFolder(dir.file("frames"), &frames, &error)
            || !imaging::OpenOutputFolder(dir.file("shared"), &shared, &error))
            _exit(1);
        for (const char* name : {"frames/frame-0001.png", "shared/frame-0001.png", "shared/notes.txt"})
            WriteBytes(dir.file(name), {'x'});
        imaging::RememberTemporaryName(dir.file("work"), true);
        imaging::RememberTemporaryName(dir.file("out.gif.fit-1"), false);
        imaging::RememberTemporaryName(dir.file("done.tmp"), false);
        imaging::ForgetTemporaryName(dir.file("done.tmp")); // moved into place: no longer temporary
        imaging::EndNow(5);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 5);
    EXPECT_EQ(Names(dir.path().string()), (std::vector<std::string>{"done.tmp", "shared"}));
    EXPECT_EQ(Names(dir.file("shared")), std::vector<std::string>{"notes.txt"});
}

// A run that fails after some frames were written (stopped here, as a full
// disk stops it) leaves no frame, and no folder, that it made.
TEST(WriteFaults, AFailedRunLeavesNothingInTheFolderItMade)
{
    TempDir dir;
    WriteBytes(dir.file("in.gif"), SmallAnimation(24, 20, 8));
    std::filesystem::create_directories(dir.file("kept"));
    WriteBytes(dir.file("kept/notes.txt"), {'n'});
    for (const char* folder : {"made/pf", "kept"}) {
        BatchJob job;
        job.input = dir.file("in.gif");
        job.output = dir.file("out.gif");
        job.pngFramesDir = dir.file(folder);
        BatchOptions options;
        options.convert.threads = 1;
        options.progress = [](const BatchProgress& at) { return at.jobFrame < 4; };
        const std::vector<JobOutcome> outcomes = ConvertBatch({job}, options);
        EXPECT_EQ(outcomes[0].error.kind, imaging::ErrorKind::Cancelled) << folder;
    }
    EXPECT_EQ(Names(dir.path().string()), (std::vector<std::string>{"in.gif", "kept", "made"}));
    EXPECT_TRUE(Names(dir.file("made")).empty());
    // A folder the user had keeps the frames written, each complete.
    EXPECT_GE(Names(dir.file("kept")).size(), 4u);
}

} // namespace
} // namespace qf::test
