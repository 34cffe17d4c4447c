// Shared by every test folder: a private folder per test, whole files,
// programs or functions run in a child process under resource limits (so a
// test can watch them fail on a full disk, in too little memory or on a
// signal, or crash, without taking the test runner down), and the GIF
// builder the fuzzers' seeds come from.
#pragma once

#include "gif_bytes.h"
#include "imaging/animation_reader.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace qf::test {

using namespace gifbytes; // GIF files built byte by byte, from fuzz/

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    std::vector<std::string> list() const; // names in the folder, sorted

private:
    std::filesystem::path path_;
};

void WriteBytes(const std::string& path, const Bytes& bytes);
Bytes ReadBytes(const std::string& path);
// Every frame of a GIF or WebP as the reader composes it, and its facts; a
// PNG file.
std::vector<imaging::RgbaImage> ReadAnimation(const std::string& path,
                                              imaging::AnimationInfo* info = nullptr);
imaging::RgbaImage ReadPng(const std::string& path);

// tests/data/shapes.gif (and .webp, the same animation): 40 x 30 on white
// paper, a black square top left (x 4-13, y 3-12; in frame 2 x 6-15), a red
// block top right (x 22-37, y 2-13), a blue block bottom right (x 22-37,
// y 17-27) and a transparent patch bottom left (x 0-15, y 18-29); shown for
// 0.2 s and 3 s, repeated 3 times.
std::string Shapes(const char* extension);
// What a person sees in each pixel, rows top first, one letter a pixel:
// ' ' paper white, '#' ink, 'R' red, 'B' blue, '.' transparent, '?' other.
std::string Looks(const imaging::RgbaImage& frame);
// How a frame of shapes looks as a sketch: the shapes in their places,
// outlined in ink, the red and the blue block filled with fill's two
// letters (their colours "RB", paper "  ", or ink "##" where dense dots
// cover dark colours); the patch transparent or paper.
std::string ShapesSketch(int frame, const char* fill, bool transparent);
// What a person sees at the middle of the square, the red block, the blue
// block and the patch, found at the same fraction of any frame size.
std::string ShapesAtAGlance(const imaging::RgbaImage& frame);

struct Limits {
    long long fileSizeBytes = -1;     // RLIMIT_FSIZE; writes beyond it fail with EFBIG
    long long addressSpaceBytes = -1; // RLIMIT_AS
    int timeoutSeconds = 60;          // then the child is ended by SIGALRM
    int signalAfterMs = -1;           // once the child catches `signal`, sends it after this delay
    int signal = 2;
};

struct ChildResult {
    bool exited = false; // through exit(): exitCode is valid
    int exitCode = -1;
    int signal = 0;     // the signal that ended it
    std::string output; // standard output and standard error together

    // An exit, not a signal (a timeout among them) or a sanitizer report.
    bool clean() const;
    std::string describe() const;
};

// Runs argv[0] with the arguments, without a shell, input from /dev/null.
ChildResult RunProgram(const std::vector<std::string>& argv, const Limits& limits = {});
// Runs body in a forked child; its result is the exit code. Only for code
// that starts no threads of its own.
ChildResult RunInChild(const std::function<int()>& body, const Limits& limits = {});
// AddressSanitizer reserves far more address space than RLIMIT_AS allows.
bool BuiltWithAddressSanitizer();

// A second user, made with useradd when running as root, for the files a
// hostile user plants; -1 when not root (the caller skips with a message).
int SecondUser();
// Gives path (a link itself, not what it names) to the second user.
void GiveToSecondUser(const std::string& path);

} // namespace qf::test
