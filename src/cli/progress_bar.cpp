#include "progress_bar.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace qf::cli {

namespace {
constexpr int kBarWidth = 32;
}

ProgressBar::ProgressBar(std::string label, bool quiet)
    : label_(std::move(label)), enabled_(!quiet && isatty(STDERR_FILENO) == 1)
{}

ProgressBar::~ProgressBar()
{
    finish();
}

void ProgressBar::update(double percent, std::string_view detail)
{
    if (!enabled_)
        return;
    std::lock_guard lock(mutex_);
    const int value = static_cast<int>(std::floor(std::clamp(percent, 0.0, 100.0)));
    if (value == shown_ && detail == shownDetail_)
        return;
    shown_ = value;
    shownDetail_ = detail;
    const int filled = value * kBarWidth / 100;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kBarWidth - filled), '.');
    // "\033[K" clears what a longer previous detail left on the line.
    std::fprintf(stderr, "\r%s [%s] %3d%%%s%s\033[K", label_.c_str(), bar.c_str(), value,
                 detail.empty() ? "" : "  ", shownDetail_.c_str());
    std::fflush(stderr);
    drawn_ = true;
}

void ProgressBar::print(const std::string& line)
{
    std::lock_guard lock(mutex_);
    if (drawn_) {
        std::fputs("\r\033[K", stderr);
        drawn_ = false;
        shown_ = -1;
        shownDetail_.clear();
    }
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

void ProgressBar::finish()
{
    std::lock_guard lock(mutex_);
    if (drawn_) {
        std::fputc('\n', stderr);
        std::fflush(stderr);
        drawn_ = false;
        shown_ = -1;
        shownDetail_.clear();
    }
}

} // namespace qf::cli
