// quillframe-cli info: what an animation holds, and any damage in it.
#include "commands.h"
#include "common.h"
#include "imaging/errors.h"
#include "imaging/files/output_paths.h"
#include "pipeline/free_memory.h"
#include "standard_streams.h"

#include <cstdio>
#include <iostream>

namespace qf::cli {

namespace {

int PrintInfo(const std::string& input)
{
    imaging::Error error;
    StandardStreams streams;
    const std::unique_ptr<imaging::AnimationReader> reader = OpenInput(input, streams, &error);
    if (!reader)
        return Report(error);
    // Damaged image data shows only in reading it: a GIF's codes are read
    // without spelling out a pixel, other formats' frames are decoded, in
    // the memory left.
    if (!CheckMemory(static_cast<double>(reader->checkingBytes()), AvailableMemory(),
                     input == "-" ? std::string(kStandardInput) : input, "read its frames", &error))
        return Report(error);
    if (!reader->checkFrames(&error)) {
        streams.renameInError(error);
        return Report(error);
    }
    const std::string shown = input == "-" ? std::string(kStandardInput) : input;
    const imaging::AnimationDamage& damage = reader->damage();
    WarnOfDamage(shown, damage);
    const imaging::AnimationInfo& info = reader->info();
    long long total = 0;
    std::cout << "file:     " << imaging::Printable(shown) << "\n"
              << "size:     " << info.width << " x " << info.height << "\n"
              << "frames:   " << info.frameCount << (info.frameCount == 1 ? " (a still)" : "") << "\n"
              << "delays:  ";
    // The duration is what a browser plays: delays of 0 and 1 hundredth an
    // animation shows for a tenth of a second (a clip's are its timestamps).
    for (const int delay : info.delays) {
        std::cout << ' ' << delay;
        total += info.video() ? delay : imaging::PlayedDelay(delay);
    }
    std::cout << " (hundredths of a second)\n";
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f", static_cast<double>(total) / 100.0);
    std::cout << "duration: " << seconds << " s\n"
              << "loop:     ";
    if (info.loopCount < 0)
        std::cout << "none (no loop extension: plays once)\n";
    else if (info.loopCount == 0)
        std::cout << "forever\n";
    else
        std::cout << info.loopCount << (info.loopCount == 1 ? " repeat\n" : " repeats\n");
    std::cout << "damage:   " << (damage ? damage.message() : "none") << "\n";
    return kExitOk;
}

} // namespace

int RunInfo(const std::string& input)
{
    try {
        return PrintInfo(input);
    } catch (...) {
        return Report(imaging::CaughtError(input == "-" ? std::string(kStandardInput) : input));
    }
}

} // namespace qf::cli
