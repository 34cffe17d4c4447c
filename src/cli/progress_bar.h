// A one-line progress bar on standard error, drawn only when standard error
// is a terminal and the user did not ask for quiet.
#pragma once

#include <mutex>
#include <string>

namespace qf::cli {

class ProgressBar {
public:
    ProgressBar(std::string label, bool quiet);
    ~ProgressBar();

    // Shows percent (0-100); redraws only when the shown value changes.
    void update(double percent);
    // Ends the line the bar is drawn on.
    void finish();

private:
    std::mutex mutex_;
    std::string label_;
    bool enabled_ = false;
    bool drawn_ = false;
    int shown_ = -1;
};

} // namespace qf::cli
