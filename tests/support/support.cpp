#include "support.h"

#include "imaging/png/png_io.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fstream>
#include <iterator>

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qf::test {

namespace fs = std::filesystem;

TempDir::TempDir()
{
    std::string pattern = (fs::temp_directory_path() / "qf-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr)
        path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored; // tests may leave folders read-only
    for (const auto& entry : fs::recursive_directory_iterator(path_, ignored))
        fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
}

std::vector<std::string> TempDir::list() const
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void WriteBytes(const std::string& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<imaging::RgbaImage> ReadAnimation(const std::string& path, imaging::AnimationInfo* info)
{
    imaging::Error error;
    const auto reader = imaging::OpenAnimation(path, &error);
    EXPECT_TRUE(reader) << error.message();
    std::vector<imaging::RgbaImage> frames;
    if (!reader)
        return frames;
    for (imaging::RgbaImage frame; reader->readNext(frame, &error);)
        frames.push_back(frame);
    EXPECT_FALSE(error) << error.message();
    if (info)
        *info = reader->info();
    return frames;
}

imaging::RgbaImage ReadPng(const std::string& path)
{
    const Bytes png = ReadBytes(path);
    imaging::RgbaImage image;
    imaging::Error error;
    EXPECT_TRUE(imaging::DecodePng(png.data(), png.size(), image, &error)) << path << ": " << error.message();
    return image;
}

std::string Shapes(const char* extension)
{
    return std::string(QF_TEST_DATA "/shapes.") + extension;
}

namespace {

char LookOf(const std::uint8_t* p)
{
    const int r = p[0], g = p[1], b = p[2];
    if (p[3] == 0)
        return '.';
    if (p[3] != 255)
        return '?';
    if (std::min({r, g, b}) > 200)
        return ' ';
    if (std::max({r, g, b}) < 80)
        return '#';
    if (r > std::max(g, b) + 100)
        return 'R';
    return b > std::max(r, g) + 100 ? 'B' : '?';
}

} // namespace

std::string Looks(const imaging::RgbaImage& frame)
{
    std::string looks;
    for (int y = 0; y < frame.height; ++y) {
        for (int x = 0; x < frame.width; ++x)
            looks += LookOf(&frame.pixels[(static_cast<std::size_t>(y) * frame.width + x) * 4]);
        looks += '\n';
    }
    return looks;
}

std::string ShapesSketch(int frame, const char* fill, bool transparent)
{
    const int square = frame == 1 ? 4 : 6;
    std::string looks;
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 40; ++x) {
            const bool red = y >= 2 && y <= 13, blue = y >= 17 && y <= 27, block = x >= 22 && x <= 37;
            const bool edge = x == 22 || x == 37 || y == 2 || y == 13 || y == 17 || y == 27;
            if (x >= square && x < square + 10 && y >= 3 && y <= 12)
                looks += '#';
            else if (block && (red || blue))
                looks += edge ? '#' : fill[red ? 0 : 1];
            else
                looks += x <= 15 && y >= 18 && transparent ? '.' : ' ';
        }
        looks += '\n';
    }
    return looks;
}

std::string ShapesAtAGlance(const imaging::RgbaImage& frame)
{
    std::string looks;
    for (const auto& [x, y] : {std::pair{8.5, 7.5}, {29.5, 7.5}, {29.5, 22.0}, {7.5, 24.0}}) {
        const int column = static_cast<int>(x / 40 * frame.width),
                  row = static_cast<int>(y / 30 * frame.height);
        looks += LookOf(&frame.pixels[(static_cast<std::size_t>(row) * frame.width + column) * 4]);
    }
    return looks;
}

namespace {

// Whether process pid handles signal yet (SigCgt in its status): one sent
// before that tests start-up, not the handler.
bool Catches(pid_t pid, int signal)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("SigCgt:", 0) == 0)
            return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1;
    return true;
}

void SetLimit(int resource, long long bytes)
{
    const rlimit limit{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
    if (bytes >= 0)
        setrlimit(resource, &limit);
}

} // namespace

ChildResult RunInChild(const std::function<int()>& body, const Limits& limits)
{
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        return {};
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(ends[1], STDOUT_FILENO);
        dup2(ends[1], STDERR_FILENO);
        signal(SIGXFSZ, SIG_IGN); // writes beyond the size limit fail instead
        SetLimit(RLIMIT_FSIZE, limits.fileSizeBytes);
        SetLimit(RLIMIT_AS, limits.addressSpaceBytes);
        alarm(static_cast<unsigned>(limits.timeoutSeconds));
        const int code = body();
        std::fflush(nullptr);
        _exit(code); // skips the parent's atexit handlers and static destructors
    }
    close(ends[1]);
    ChildResult result;
    auto signalAt = std::chrono::steady_clock::time_point::max();
    bool waitingForHandler = limits.signalAfterMs >= 0;
    char buffer[4096];
    for (ssize_t got = 1; pid > 0 && (got > 0 || (got < 0 && errno == EINTR));) {
        if (waitingForHandler && Catches(pid, limits.signal)) {
            waitingForHandler = false;
            signalAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(limits.signalAfterMs);
        }
        if (std::chrono::steady_clock::now() >= signalAt) {
            kill(pid, limits.signal);
            signalAt = std::chrono::steady_clock::time_point::max();
        }
        pollfd fd{ends[0], POLLIN, 0};
        errno = EINTR;
        got = poll(&fd, 1, waitingForHandler ? 2 : 20) > 0 ? read(ends[0], buffer, sizeof buffer) : -1;
        result.output.append(buffer, static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
    }
    close(ends[0]);
    int status = 0;
    while (pid > 0 && waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exited = pid > 0 && WIFEXITED(status);
    result.exitCode = result.exited ? WEXITSTATUS(status) : -1;
    result.signal = pid > 0 && WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return result;
}

ChildResult RunProgram(const std::vector<std::string>& argv, const Limits& limits)
{
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    return RunInChild(
        [&] {
            dup2(open("/dev/null", O_RDONLY), STDIN_FILENO);
            execv(args[0], args.data());
            return 127;
        },
        limits);
}

bool ChildResult::clean() const
{
    return exited && output.find("Sanitizer") == std::string::npos
           && output.find("runtime error:") == std::string::npos;
}

std::string ChildResult::describe() const
{
    return (exited ? "exit code " + std::to_string(exitCode) : "killed by " + std::string(strsignal(signal)))
           + "; output:\n" + output;
}

int SecondUser()
{
    if (geteuid() != 0)
        return -1;
    if (!getpwnam("qf-second"))
        RunProgram({"/usr/sbin/useradd", "--system", "--no-create-home", "qf-second"});
    const passwd* user = getpwnam("qf-second");
    return user ? static_cast<int>(user->pw_uid) : -1;
}

void GiveToSecondUser(const std::string& path)
{
    if (lchown(path.c_str(), static_cast<uid_t>(SecondUser()), static_cast<gid_t>(-1)) != 0)
        std::perror(path.c_str());
}

bool BuiltWithAddressSanitizer()
{
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#endif
#endif
    return false;
}

} // namespace qf::test
