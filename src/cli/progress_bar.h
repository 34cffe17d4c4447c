// A one-line progress bar on standard error, drawn only when standard error
// is a terminal and the user did not ask for quiet.
#pragma once

#include <mutex>
#include <string>
#include <string_view>

namespace qf::cli {

class ProgressBar {
public:
    ProgressBar(std::string label, bool quiet);
    ~ProgressBar();

    // Shows percent (0-100) and detail after it (such as "file 2/5, frame
    // 10/32"); redraws only when what is shown changes.
    void update(double percent, std::string_view detail = {});
    // Prints line on standard error (always, even when quiet) on a line of
    // its own; the bar is drawn again below it on the next update.
    void print(const std::string& line);
    // Ends the line the bar is drawn on.
    void finish();

private:
    std::mutex mutex_;
    std::string label_;
    bool enabled_ = false;
    bool drawn_ = false;
    int shown_ = -1;
    std::string shownDetail_;
};

} // namespace qf::cli
