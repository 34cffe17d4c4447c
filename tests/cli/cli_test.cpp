// The built command line run as a user runs it: what it writes, prints and
// returns, on good input, broken input, bad destinations, too little memory
// and signals.
#include "support.h"

#include "pipeline/convert.h"

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <csignal>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qf::test {
namespace {

// The command line's exit codes.
constexpr int kFailed = 1, kUsage = 2, kBadInput = 3, kBadOutput = 4, kInterrupted = 5;

ChildResult Cli(std::vector<std::string> args, Limits limits = {})
{
    args.insert(args.begin(), QF_CLI);
    // Claimed sizes must not become allocations: outside AddressSanitizer
    // (which reserves terabytes of address space) cap it at 2 GiB.
    if (limits.addressSpaceBytes < 0 && !BuiltWithAddressSanitizer())
        limits.addressSpaceBytes = 2ll << 30;
    return RunProgram(args, limits);
}

// The command line, started in a child after prepare() ran there.
ChildResult CliAfter(const std::function<void()>& prepare, std::vector<std::string> args, Limits limits = {})
{
    args.insert(args.begin(), QF_CLI);
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    return RunInChild(
        [&] {
            prepare();
            execv(argv[0], argv.data());
            return 127;
        },
        limits);
}

class BrokenGif : public ::testing::TestWithParam<GifCase> {};

// info, frames and convert agree: the same exit code, 3 with the file named
// for a refusal, and an output only after a success.
TEST_P(BrokenGif, EveryCommandAnswersCleanly)
{
    const GifCase& c = GetParam();
    TempDir dir;
    const std::string input = dir.file(c.name + ".gif");
    WriteBytes(input, c.bytes);
    const ChildResult info = Cli({"info", input});
    const ChildResult frames = Cli({"frames", input, dir.file("frames")});
    const std::string variant = std::to_string(c.bytes.size() % 17);
    const ChildResult convert = Cli({"convert", input, dir.file("out.gif"), "--variant", variant});
    for (const ChildResult* result : {&info, &frames, &convert}) {
        ASSERT_TRUE(result->clean()) << result->describe();
        EXPECT_EQ(result->exitCode, info.exitCode) << result->output;
        EXPECT_TRUE(result->exitCode == 0 || result->output.find(input + ": ") != std::string::npos)
            << result->output;
        const bool warned = result->output.find("warning: " + input + ": is damaged") != std::string::npos;
        EXPECT_EQ(warned, result->exitCode == 0 && c.damagedAfter >= 0) << result->output;
    }
    EXPECT_TRUE(c.expect == Expect::Either || (info.exitCode == 0) == (c.expect == Expect::Opens))
        << info.output;
    EXPECT_TRUE(info.exitCode == 0 || info.exitCode == kBadInput) << info.output;
    EXPECT_EQ(dir.list().size(), info.exitCode == 0 ? 3u : 1u) << "the outputs after a success only";
}

INSTANTIATE_TEST_SUITE_P(Cases, BrokenGif, ::testing::ValuesIn(BrokenGifs()),
                         [](const auto& info) { return info.param.name; });

// Mistakes, bad input and bad destinations: the exit code, one message
// naming the file, and the previous output untouched with nothing beside it.
TEST(Cli, FailuresHaveTheirExitCodeAndKeepTheOutput)
{
    TempDir dir;
    const std::string in = dir.file("in.gif"), out = dir.file("out.gif"), note = dir.file("note.txt");
    const std::string big = dir.file("big.gif"), missing = dir.file("missing.gif");
    WriteBytes(in, SmallAnimation(48, 40, 6));
    WriteBytes(big, SmallAnimation(3000, 2000, 2));
    WriteBytes(note, {'n', 'o', 't', 'e'});
    std::filesystem::create_hard_link(in, dir.file("again.gif"));
    const Bytes previous = {'k', 'e', 'e', 'p'};
    Limits sizeLimit, littleMemory;
    sizeLimit.fileSizeBytes = 600;
    littleMemory.addressSpaceBytes = BuiltWithAddressSanitizer() ? -1 : 320ll << 20;
    struct Row {
        std::vector<std::string> args;
        int code;
        std::string named; // in the message
        Limits limits = {};
        std::function<void()> prepare = nullptr; // in the child, before the command starts
    };
    const auto fullDisk = [] { dup2(open("/dev/full", O_WRONLY), STDOUT_FILENO); };
    const auto zeros = [] { dup2(open("/dev/zero", O_RDONLY), STDIN_FILENO); };
    const auto sizeSignal = [] { signal(SIGXFSZ, SIG_DFL); }; // as a shell leaves it
    // The second user's links to out.gif and to a private folder holding a
    // frame, in a world-writable sticky folder and in one that is not sticky.
    std::filesystem::create_directories(dir.file("private"));
    std::filesystem::permissions(dir.file("private"), std::filesystem::perms::owner_all);
    WriteBytes(dir.file("private/frame-0009.png"), previous);
    for (const char* shared : {"shared", "open"}) {
        std::filesystem::create_directories(dir.file(shared));
        std::filesystem::permissions(
            dir.file(shared),
            std::filesystem::perms::all
                | (*shared == 's' ? std::filesystem::perms::sticky_bit : std::filesystem::perms::none));
        for (const char* name : {"out.gif", "in.gif", "private"}) {
            std::filesystem::create_symlink(std::string("../") + (*name == 'i' ? "out.gif" : name),
                                            dir.file(shared) + "/" + name);
            GiveToSecondUser(dir.file(shared) + "/" + name);
        }
    }
    const std::string control = dir.file("e\x1b[2Jvil\n.gif");
    std::vector<Row> rows = {
        {{}, kUsage, "error: "},
        {{"paint", in}, kUsage, "error: "},
        {{"convert", in}, kUsage, "error: "},
        {{"convert", in, out, "--variant", "17"}, kUsage, "error: "},
        {{"convert", in, out, "--variant", "-1"}, kUsage, "error: "},
        {{"convert", in, out, "--threads", "many"}, kUsage, "error: "},
        {{"convert", in, out, "--sepia"}, kUsage, "error: "},
        {{"convert", in, out, "--ink", "101"}, kUsage, "error: --ink"},
        {{"convert", in, out, "--grain", "wobbly"}, kUsage, "error: --grain"},
        // An output that is an input, by name, by a hard link or in a batch.
        {{"convert", in, in}, kUsage, in + " would be replaced by its own result"},
        {{"convert", in, dir.file("again.gif")}, kUsage, "would be replaced by its own result"},
        {{"convert", in, out, "--out-dir", dir.path().string()},
         kUsage,
         in + " would be replaced by its own"},
        {{"convert", missing, out}, kBadInput, missing + ": "},
        {{"convert", note, out}, kBadInput, note + ": "},
        {{"convert", dir.path().string(), out}, kBadInput, dir.path().string() + ": "},
        {{"info", missing}, kBadInput, missing + ": "},
        {{"info", control}, kBadInput, "e\\x1b[2Jvil\\n.gif: does not exist"},
        {{"info", "-"}, kBadInput, "standard input: is not a GIF file", {}, zeros},
        {{"info", "/dev/zero"}, kBadInput, "/dev/zero: is not a GIF file"},
        {{"snapshots", missing, dir.file("snaps")}, kBadInput, missing + ": "},
        {{"convert", in, dir.file("no/such/out.gif")}, kBadOutput, dir.file("no/such/out.gif") + ": "},
        {{"convert", in, note + "/out.gif"}, kBadOutput, note + "/out.gif: "},
        {{"convert", in, dir.path().string()}, kBadOutput, dir.path().string() + ": "},
        {{"convert", in, out, "--png-frames", note}, kBadOutput, note + ": "},
        {{"frames", in, note}, kBadOutput, note + ": "},
        {{"snapshots", in, note}, kBadOutput, note + ": "},
        {{"convert", in, out, "--variant", "3"},
         kBadOutput,
         out + ": is larger than files may be",
         sizeLimit,
         sizeSignal},
        {{"frames", big, dir.file("private")},
         kBadOutput,
         "frame-0001.png: is larger than files may be",
         sizeLimit,
         sizeSignal},
        {{"convert", in, ""}, kBadOutput, "error: the output file name is empty"},
        {{"convert", in, "/dev/stdout"}, kBadOutput, "/dev/stdout: is a pipe"},
        // Root is refused by the file system ("does not accept new files"), a
        // user already by the folder's permissions ("is not writable").
        {{"convert", in, "/proc/out.gif"}, kBadOutput, "/proc/out.gif: the folder "},
        {{"convert", missing, out, "--png-frames", dir.file("pngs")}, kBadInput, missing + ": "},
        {{"info", in}, kFailed, "error: standard output: cannot be written", {}, fullDisk},
        {{"--help"}, kFailed, "error: standard output: cannot be written", {}, fullDisk},
        {{"convert", in, "-"}, kBadOutput, "error: standard output: the disk is full", {}, fullDisk},
        // Refused up front from the memory left, not after an allocation failed.
        {{"convert", big, out, "--threads", "2"}, kBadInput, "MB are free", littleMemory},
        {{"snapshots", big, dir.file("snaps")}, kBadInput, "MB are free", littleMemory},
        {{"convert", big, dir.file("o.webp")}, kBadInput, "MB are free", littleMemory},
        {{"convert", big, out, "--estimate"}, kBadInput, "MB are free", littleMemory},
        {{"convert", big, out, "--max-bytes", "1M"}, kBadInput, "MB are free", littleMemory},
    };
    std::vector<Row> planted; // the second user's links: not followed
    for (const std::string shared : {"shared/", "open/"}) {
        const std::string link = dir.file(shared + "out.gif"), folder = dir.file(shared + "private");
        const std::string plantedHere = shared + "out.gif: is a link owned by another user";
        planted.push_back({{"convert", in, link}, kBadOutput, plantedHere});
        planted.push_back(
            {{"convert", in, "--out-dir", dir.file(shared)}, kBadOutput, shared + "in.gif: is a link"});
        planted.push_back({{"frames", in, folder}, kBadOutput, "private: is a link owned by another user"});
        planted.push_back(
            {{"snapshots", in, folder}, kBadOutput, "private: is a link owned by another user"});
        planted.push_back({{"convert", in, out, "--png-frames", folder}, kBadOutput, "private: is a link"});
    }
    if (SecondUser() < 0)
        std::printf("not root: the rows with another user's links are skipped\n");
    else
        rows.insert(rows.end(), planted.begin(), planted.end());
    const std::vector<std::string> listed = {"again.gif", "big.gif", "in.gif",  "note.txt",
                                             "open",      "out.gif", "private", "shared"};
    for (const Row& row : rows) {
        if (row.named == "MB are free" && BuiltWithAddressSanitizer())
            continue;
        WriteBytes(out, previous);
        const ChildResult result =
            row.prepare ? CliAfter(row.prepare, row.args, row.limits) : Cli(row.args, row.limits);
        const std::string what = row.args.empty() ? "no arguments" : row.args[0] + " " + row.args.back();
        ASSERT_TRUE(result.clean()) << what << ": " << result.describe();
        EXPECT_EQ(result.exitCode, row.code) << what << ": " << result.output;
        EXPECT_NE(result.output.find(row.named), std::string::npos) << what << ": " << result.output;
        EXPECT_EQ(result.output.find("error: "), result.output.rfind("error: "))
            << what << ": " << result.output;
        EXPECT_EQ(ReadBytes(out), previous) << what;
        EXPECT_EQ(dir.list(), listed) << what;
        EXPECT_EQ(ReadBytes(dir.file("private/frame-0009.png")), previous) << what;
    }
}

// With little memory, an animation's estimate is refused no sooner than its
// conversion is; where the conversion of an animation or a clip got as far
// as the input, what stops the estimate names the input, and a decoder that
// cannot start for want of memory is not taken for a format this program
// cannot decode.
TEST(Cli, AnEstimateRunsWhereItsConversionRuns)
{
    if (BuiltWithAddressSanitizer())
        GTEST_SKIP() << "AddressSanitizer reserves more address space than any limit here";
    TempDir dir;
    const std::string gif = dir.file("in.gif");
    WriteBytes(gif, SmallAnimation(48, 40, 6));
    for (const std::string& in : {gif, std::string(QF_CLIPS "/twelve.mp4")}) {
        Limits limits;
        bool converted = false;
        for (long long mb = 160; mb <= 2048 && !converted; mb += 4) {
            limits.addressSpaceBytes = mb << 20;
            const ChildResult conversion = Cli({"convert", in, dir.file("out.gif")}, limits);
            const ChildResult estimate = Cli({"convert", in, dir.file("out.gif"), "--estimate"}, limits);
            const bool named = conversion.output.find("error: " + in + ": ") != std::string::npos;
            EXPECT_TRUE(!named || estimate.exitCode == 0
                        || estimate.output.find("error: " + in + ": ") != std::string::npos)
                << mb << " MB: " << estimate.output;
            for (const ChildResult* result : {&conversion, &estimate})
                EXPECT_EQ(result->output.find("a format this program cannot decode"), std::string::npos)
                    << mb << " MB: " << result->output;
            converted = conversion.exitCode == 0;
            // The estimate's own tasks may reach a little further. A clip's
            // decoder threads each reserve more address space than that,
            // however little memory they use: for a clip only the messages
            // are checked.
            if (converted && in == gif) {
                limits.addressSpaceBytes += 16ll << 20;
                const ChildResult withMore = Cli({"convert", in, dir.file("out.gif"), "--estimate"}, limits);
                EXPECT_EQ(withMore.exitCode, 0) << in << ", " << mb + 16 << " MB: " << withMore.output;
            }
        }
        EXPECT_TRUE(converted) << in;
    }
}

// A byte budget for large frames in little memory: its estimate samples
// fewer frames, and lets them go for its conversions, so that it runs with
// a little more memory than a plain conversion (it needed 360 MB more at
// 1280 x 720 when its estimate kept every frame it samples).
TEST(Cli, ABudgetRunsWithALittleMoreMemoryThanItsConversion)
{
    if (BuiltWithAddressSanitizer())
        GTEST_SKIP() << "AddressSanitizer reserves more address space than any limit here";
    TempDir dir;
    const std::string in = dir.file("in.gif"), out = dir.file("out.gif");
    WriteBytes(in, SmallAnimation(1280, 720, 24));
    // On one thread: each thread's heap reserves address space the memory
    // a conversion weighs does not count (on two, under fakeroot, a budget
    // in 341 MB ran short of it).
    auto runsIn = [&](long long mb, const std::vector<std::string>& args) {
        Limits limits;
        limits.addressSpaceBytes = mb << 20;
        return Cli(args, limits).exitCode == 0;
    };
    // The least address space a conversion runs in, to 16 MB.
    long long low = 64, high = 2048;
    while (high - low > 16) {
        const long long mid = (low + high) / 2;
        (runsIn(mid, {"convert", in, out, "-q", "-j", "1"}) ? high : low) = mid;
    }
    ASSERT_TRUE(runsIn(high + 200, {"convert", in, out, "--max-bytes", "100K", "-q", "-j", "1"}))
        << "a conversion runs in " << high << " MB, a budget not in 200 MB more";
    EXPECT_LE(std::filesystem::file_size(out), 100u * 1024);

    // Two such files in one batch, two at a time, in the same memory: each
    // counts on half of it, and one refused is converted again alone. The
    // heap keeps one arena, which reserves no address space for each thread.
    std::filesystem::create_directories(dir.file("out"));
    std::filesystem::copy_file(in, dir.file("in2.gif"));
    Limits limits;
    limits.addressSpaceBytes = (high + 200) << 20;
    const ChildResult batch = CliAfter([] { setenv("MALLOC_ARENA_MAX", "1", 1); },
                                       {"convert", in, dir.file("in2.gif"), "--out-dir", dir.file("out"),
                                        "--max-bytes", "100K", "-q", "-j", "2"},
                                       limits);
    EXPECT_EQ(batch.exitCode, 0) << batch.describe();
    for (const char* name : {"out/in.gif", "out/in2.gif"})
        EXPECT_LE(std::filesystem::exists(dir.file(name)) ? std::filesystem::file_size(dir.file(name)) : ~0u,
                  100u * 1024)
            << name;
}

// An estimate whose samples cannot be written names the input: the files
// it writes them to are its own, which the user never saw.
TEST(Cli, AnEstimateThatCannotWriteItsSamplesNamesTheInput)
{
    TempDir dir;
    const std::string in = dir.file("in.gif");
    WriteBytes(in, SmallAnimation(48, 40, 6));
    Limits limits;
    limits.fileSizeBytes = 64;
    const ChildResult result = Cli({"convert", in, dir.file("out.gif"), "--estimate"}, limits);
    EXPECT_EQ(result.exitCode, kBadOutput) << result.output;
    EXPECT_NE(result.output.find("error: " + in + ": estimating its size: "), std::string::npos)
        << result.output;
}

// A TMPDIR naming no folder (left from one removed): every command that
// needs a scratch file says so, naming it, rather than failing as a fault of
// the program's own; nothing is written.
TEST(Cli, AMissingTemporaryFolderIsNamed)
{
    TempDir dir;
    const std::string in = dir.file("in.gif");
    WriteBytes(in, SmallAnimation(48, 40, 6));
    const std::string missing = dir.file("gone");
    const std::vector<std::vector<std::string>> rows = {
        {"convert", in, dir.file("out.gif"), "--estimate"},
        {"convert", in, dir.file("out.gif"), "--max-bytes", "1K"},
        {"convert", "-", dir.file("out.gif")},
    };
    for (const std::vector<std::string>& args : rows) {
        const ChildResult result = CliAfter(
            [&] {
                setenv("TMPDIR", missing.c_str(), 1);
                dup2(open(in.c_str(), O_RDONLY), STDIN_FILENO);
            },
            args);
        EXPECT_EQ(result.exitCode, kBadOutput) << args[3 % args.size()] << ": " << result.output;
        EXPECT_NE(result.output.find("error: " + missing
                                     + ": the folder for temporary files (TMPDIR) does not exist"),
                  std::string::npos)
            << result.output;
    }
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"in.gif"}));
}

// Standard input redirected from the very file a command would write: the
// command is refused and the file kept, whatever name it goes by.
TEST(Cli, StandardInputIsNeverItsOwnOutput)
{
    TempDir dir;
    std::filesystem::create_directories(dir.file("pics"));
    const Bytes animation = SmallAnimation(24, 20, 3);
    for (const char* name : {"a.gif", "pics/frame-0002.png", "pics/variant-03.png", "pics/sheet.png"})
        WriteBytes(dir.file(name), animation);
    std::filesystem::create_hard_link(dir.file("a.gif"), dir.file("b.gif"));
    const std::string pics = dir.file("pics");
    const std::vector<std::pair<std::string, std::vector<std::string>>> rows = {
        {"a.gif", {"convert", "-", dir.file("a.gif")}},
        {"b.gif", {"convert", "-", dir.file("a.gif"), "--variant", "3"}},
        {"pics/frame-0002.png", {"frames", "-", pics}},
        {"pics/frame-0002.png", {"convert", "-", dir.file("o.gif"), "--png-frames", pics + "/."}},
        {"pics/variant-03.png", {"snapshots", "-", pics}},
        {"pics/sheet.png", {"snapshots", "-", pics}},
    };
    for (const auto& [source, args] : rows) {
        const std::string from = dir.file(source);
        const ChildResult result = CliAfter([&] { dup2(open(from.c_str(), O_RDONLY), STDIN_FILENO); }, args);
        EXPECT_EQ(result.exitCode, kUsage) << source << ": " << result.output;
        EXPECT_NE(result.output.find("read as standard input"), std::string::npos) << result.output;
        EXPECT_EQ(ReadBytes(from), animation) << source;
    }
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"a.gif", "b.gif", "pics"}));
}

// Ctrl-C, a kill or a closed terminal during a conversion.
TEST(Cli, ASignalLeavesNoPartialOutput)
{
    TempDir dir;
    WriteBytes(dir.file("in.gif"), SmallAnimation(480, 360, 150));
    const Bytes previous = {'k', 'e', 'e', 'p'};
    WriteBytes(dir.file("out.gif"), previous);
    // Killed where it cannot clean up (an alarm it does not catch): a file
    // system with unnamed files keeps nothing of the run at all.
    const ChildResult killed = CliAfter(
        [] { ualarm(300'000, 0); }, {"convert", dir.file("in.gif"), dir.file("out.gif"), "--threads", "1"});
    EXPECT_EQ(killed.signal, SIGALRM) << killed.describe();
    const int unnamed = open(dir.path().c_str(), O_TMPFILE | O_WRONLY, 0600);
    if (unnamed >= 0) {
        EXPECT_EQ(dir.list(), (std::vector<std::string>{"in.gif", "out.gif"}));
    }
    close(unnamed);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        Limits limits;
        limits.signalAfterMs = 200;
        limits.signal = signal;
        const ChildResult result =
            Cli({"convert", dir.file("in.gif"), dir.file("out.gif"), "--threads", "1"}, limits);
        ASSERT_TRUE(result.clean()) << result.describe();
        if (result.exitCode == 0)
            GTEST_SKIP() << "the conversion finished before the signal";
        EXPECT_EQ(result.exitCode, kInterrupted) << result.output;
        EXPECT_EQ(ReadBytes(dir.file("out.gif")), previous);
        EXPECT_EQ(dir.list(), (std::vector<std::string>{"in.gif", "out.gif"}));
    }
}

// Standard input and a named pipe are read once, as far as they go: a pipe
// with a writer gives its animation; a pipe that never ends waits for a
// stop, and killed where it cannot clean up, leaves nothing behind.
TEST(Cli, PipesAreReadOnceAndLeaveNothing)
{
    TempDir dir;
    const Bytes gif = SmallAnimation(48, 40, 6);
    const std::string fifo = dir.file("fifo");
    std::filesystem::create_directories(dir.file("tmp"));
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // A writer gives the child's standard input, then the named pipe, the
    // first half of the animation, or all of it and closes them. It lives
    // five seconds at most.
    const auto feeding = [&](bool whole) {
        return [&, whole] {
            setenv("TMPDIR", dir.file("tmp").c_str(), 1);
            int ends[2];
            if (pipe(ends) == 0 && fork() == 0) {
                alarm(5);
                // Only the pipe stays open: the test reads the command's
                // output to its end.
                dup2(ends[1], STDIN_FILENO);
                close_range(1, ~0u, 0);
                const std::size_t size = whole ? gif.size() : gif.size() / 2;
                if (write(STDIN_FILENO, gif.data(), size) < 0 || (whole && close(STDIN_FILENO) != 0))
                    _exit(1);
                const int named = open(fifo.c_str(), O_WRONLY);
                if (write(named, gif.data(), size) < 0 || whole)
                    _exit(0);
                pause();
            }
            dup2(ends[0], STDIN_FILENO);
            close(ends[1]);
        };
    };
    ChildResult result = CliAfter(feeding(true), {"info", fifo});
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_NE(result.output.find("frames:   6\n"), std::string::npos) << result.output;
    Limits stop;
    stop.signalAfterMs = 200;
    stop.signal = SIGTERM;
    for (const std::string& input : {std::string("-"), fifo}) {
        result = CliAfter(feeding(false), {"info", input}, stop);
        EXPECT_EQ(result.exitCode, kInterrupted) << input << ": " << result.describe();
        EXPECT_NE(result.output.find(": cancelled"), std::string::npos) << input << ": " << result.output;
        result = CliAfter(
            [&] {
                feeding(false)();
                ualarm(300'000, 0);
            },
            {"convert", input, dir.file("o.gif")});
        EXPECT_EQ(result.signal, SIGALRM) << input << ": " << result.describe();
        EXPECT_TRUE(std::filesystem::is_empty(dir.file("tmp"))) << input;
    }
}

// convert shows the variant and switches given, with the source's timing;
// frames writes the frames as the reader composes them; info tells the
// facts.
TEST(Cli, CommandsShowWhatWasAskedFor)
{
    TempDir dir;
    // Poster keeps the shapes' own pure colours, outlined in ink; the blur
    // softens every edge, where the plain poster has none.
    for (const bool blur : {false, true}) {
        std::vector<std::string> args = {"convert", Shapes("gif"), dir.file("poster.gif"), "--variant",
                                         "poster"};
        if (blur)
            args.push_back("--blur");
        const ChildResult converted = Cli(args);
        ASSERT_EQ(converted.exitCode, 0) << converted.output;
        EXPECT_EQ(converted.output, "") << "quiet when not on a terminal";
        imaging::AnimationInfo info;
        const std::vector<imaging::RgbaImage> frames = ReadAnimation(dir.file("poster.gif"), &info);
        ASSERT_EQ(frames.size(), 2u);
        EXPECT_EQ(info.delays, (std::vector<int>{20, 300}));
        EXPECT_EQ(info.loopCount, 3);
        for (int n = 1; n <= 2; ++n) {
            const std::string looks = Looks(frames[n - 1]);
            EXPECT_EQ(ShapesAtAGlance(frames[n - 1]), "#RB ") << "frame " << n;
            if (blur)
                EXPECT_NE(looks.find('?'), std::string::npos) << "frame " << n << " has no soft edge:\n"
                                                              << looks;
            else
                EXPECT_EQ(looks, ShapesSketch(n, "RB", false)) << "frame " << n;
        }
    }

    const std::string in = dir.file("in.gif");
    WriteBytes(in, SmallAnimation(40, 32, 3, 3));
    ChildResult result =
        Cli({"convert", in, dir.file("cli.gif"), "--variant", "9", "--blur", "--no-adjust", "--ink", "20"});
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(result.output, "") << "quiet when not on a terminal";
    ConvertOptions options;
    options.variant = 9;
    options.switches.Blur = 1;
    options.switches.Adjust = 0;
    options.switches.Ink = 20; // the poster's blue 80 turns light
    imaging::Error error;
    ASSERT_TRUE(ConvertAllFrames(in, dir.file("library.gif"), options, &error)) << error.message();
    EXPECT_TRUE(ReadBytes(dir.file("cli.gif")) == ReadBytes(dir.file("library.gif")));

    // Both frame writers leave a folder holding this animation's frames only.
    std::filesystem::create_directories(dir.file("frames"));
    const std::string frameDir = dir.file("frames");
    for (const auto& args :
         {std::vector<std::string>{"convert", in, dir.file("cli.gif"), "--png-frames", frameDir},
          {"frames", in, dir.file("frames")}}) {
        WriteBytes(dir.file("frames/frame-0004.png"), {'o', 'l', 'd'});
        result = Cli(args);
        ASSERT_EQ(result.exitCode, 0) << result.output;
        EXPECT_FALSE(std::filesystem::exists(dir.file("frames/frame-0004.png"))) << args[0];
    }
    // In another user's folder nothing of theirs is removed.
    if (SecondUser() >= 0) {
        WriteBytes(dir.file("frames/frame-0004.png"), {'o', 'l', 'd'});
        GiveToSecondUser(frameDir);
        ASSERT_EQ(Cli({"frames", in, frameDir}).exitCode, 0);
        EXPECT_TRUE(std::filesystem::exists(dir.file("frames/frame-0004.png")));
    }
    const auto frames = ReadAnimation(in);
    for (std::size_t i = 0; i < frames.size(); ++i)
        EXPECT_TRUE(ReadPng(dir.file("frames/frame-000" + std::to_string(i + 1) + ".png")).pixels
                    == frames[i].pixels)
            << "frame " << i + 1;

    result = Cli({"info", in});
    ASSERT_EQ(result.exitCode, 0) << result.output;
    for (const char* line :
         {"size:     40 x 32\n", "frames:   3\n", "delays:   10 11 12 ", "loop:     3 repeats\n"})
        EXPECT_NE(result.output.find(line), std::string::npos) << line << " in\n" << result.output;
    // Delays of 0 and 1 hundredth play for a tenth of a second, as browsers
    // play them: 0, 1 and 5 hundredths last a quarter of a second.
    Bytes quick = SmallAnimation(40, 32, 3, 3);
    int changed = 0;
    for (std::size_t i = 0; i + 5 < quick.size() && changed < 3; ++i)
        if (quick[i] == 0x21 && quick[i + 1] == 0xF9 && quick[i + 2] == 4) {
            quick[i + 4] = static_cast<std::uint8_t>(std::array{0, 1, 5}[changed++]);
            quick[i + 5] = 0;
        }
    WriteBytes(in, quick);
    result = Cli({"info", in});
    EXPECT_NE(result.output.find("delays:   0 1 5 "), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("duration: 0.25 s\n"), std::string::npos) << result.output;
}

// What --help, the manual and the completions tell a user: no parser type
// names, what the commands read (clips too), the exit codes as the README
// lists them, and the clips offered as inputs.
TEST(Cli, HelpManualAndCompletionsTellTheSameFacts)
{
    for (const char* command : {"convert", "frames", "info"}) {
        const ChildResult help = Cli({command, "--help"});
        ASSERT_EQ(help.exitCode, 0) << help.output;
        for (const char* leak : {"FLOAT", "INT", "Excludes", "REQUIRED", " in ["})
            EXPECT_EQ(help.output.find(leak), std::string::npos) << command << " --help shows " << leak;
        EXPECT_NE(help.output.find("video clip"), std::string::npos) << command;
    }
    const auto oneLine = [](const Bytes& bytes) {
        std::string out;
        for (const unsigned char c : bytes)
            if (!std::isspace(c) || (!out.empty() && out.back() != ' '))
                out += std::isspace(c) ? ' ' : static_cast<char>(c);
        return out;
    };
    const std::string readme = oneLine(ReadBytes(QF_SOURCE_DIR "/README.md"));
    const ChildResult codes = Cli({"--manual", "exit-status"});
    ASSERT_EQ(codes.exitCode, 0);
    int listed = 0;
    for (std::size_t at = 0; at < codes.output.size(); at = codes.output.find('\n', at) + 1, ++listed) {
        const std::size_t tab = codes.output.find('\t', at), end = codes.output.find('\t', tab + 1);
        const std::string entry =
            codes.output.substr(at, tab - at) + " " + codes.output.substr(tab + 1, end - tab - 1);
        EXPECT_NE(readme.find(entry), std::string::npos) << "the README does not list \"" << entry << "\"";
    }
    EXPECT_EQ(listed, 6);
    EXPECT_NE(oneLine(ReadBytes(QF_SOURCE_DIR "/data/man/quillframe-cli.1.in")).find("@EXIT_STATUS@"),
              std::string::npos)
        << "the manual's exit codes are written from the same list";

    const ChildResult bash = Cli({"--completion", "bash"});
    for (const char* clip : {"[mM][pP]4", "[wW][eE][bB][mM]", "[gG][iI][fF]"})
        EXPECT_NE(bash.output.find(clip), std::string::npos) << clip;

    // An estimate for the budget asked for, and for no other.
    const ChildResult estimate = Cli({"convert", Shapes("gif"), "x.gif", "--estimate", "--max-bytes", "1K"});
    EXPECT_EQ(estimate.exitCode, 0) << estimate.output;
    EXPECT_NE(estimate.output.find("\n  to fit in 1 kB: quality 100"), std::string::npos) << estimate.output;
    EXPECT_EQ(estimate.output.find("MB"), std::string::npos) << estimate.output;
}

} // namespace
} // namespace qf::test

namespace qf::test {
namespace {

// A clip cut short converts its whole frames with the GIF's warning, also
// through a pipe; one without pictures is refused naming the file.
TEST(VideoInput, CutShortWarnsAndConvertsNoVideoIsRefused)
{
    TempDir dir;
    const std::string clips = QF_CLIPS;
    ChildResult run = Cli({"convert", "-q", clips + "/cut-short.mp4", dir.file("out.gif")});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("is damaged after frame 4 (the file is cut short)"), std::string::npos)
        << run.output;
    EXPECT_EQ(ReadAnimation(dir.file("out.gif")).size(), 4u);

    // A clip whose frames stop decoding after its third, converted from its
    // third on: the clip is at fault (not the GIF, as it once was), and
    // nothing is written.
    const std::string damaged = "passed-to-a-frame-that-never-decodes.mp4";
    run = Cli({"convert", "-q", "--start", "0.2",
               std::string(QF_SOURCE_DIR) + "/fuzz/regressions/video/" + damaged, dir.file("late.gif")});
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.output.find(damaged + ": is damaged after frame 2"), std::string::npos) << run.output;
    EXPECT_FALSE(std::filesystem::exists(dir.file("late.gif")));

    // Through a pipe, as from `cat ten.webm |`.
    const Bytes webm = ReadBytes(clips + "/ten.webm");
    run = CliAfter(
        [&] {
            int ends[2];
            if (pipe(ends) != 0
                || write(ends[1], webm.data(), webm.size()) != static_cast<ssize_t>(webm.size()))
                _exit(126);
            close(ends[1]);
            dup2(ends[0], 0);
        },
        {"convert", "-q", "--fps", "5", "-v", "3", "-", dir.file("piped.gif")});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(ReadAnimation(dir.file("piped.gif")).size(), 5u);

    run = Cli({"convert", "-q", clips + "/sound.webm", dir.file("none.gif")});
    EXPECT_EQ(run.exitCode, kBadInput);
    EXPECT_NE(run.output.find("sound.webm: has no video stream"), std::string::npos) << run.output;
    EXPECT_FALSE(std::filesystem::exists(dir.file("none.gif")));
}

// The program alone, without the clip module beside it or installed: a GIF
// converts as ever, a clip is refused with what is missing, and nothing is
// written for it.
TEST(VideoInput, WithoutItsClipModuleGifsConvertAndClipsAreRefused)
{
    TempDir dir;
    const std::string alone = dir.file("quillframe-cli");
    std::filesystem::copy_file(QF_CLI, alone);
    std::filesystem::permissions(alone, std::filesystem::perms::owner_exec,
                                 std::filesystem::perm_options::add);
    ChildResult run = RunProgram({alone, "convert", "-q", Shapes("gif"), dir.file("shapes.gif")});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(ReadAnimation(dir.file("shapes.gif")).size(), 2u);

    for (const char* output : {"clip.gif", "clip.mp4"}) {
        const std::string input =
            output == std::string("clip.gif") ? std::string(QF_CLIPS) + "/ten.webm" : Shapes("gif");
        run = RunProgram({alone, "convert", "-q", input, dir.file(output)});
        EXPECT_EQ(run.exitCode, kFailed) << output;
        EXPECT_NE(run.output.find("quillframe-video.so, which reads and writes clips, is in neither"),
                  std::string::npos)
            << run.output;
        EXPECT_FALSE(std::filesystem::exists(dir.file(output))) << output;
    }
}

} // namespace
} // namespace qf::test
