#include "folders.h"

#include "imaging/errors.h"

#include <cstdio>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace qf {

namespace fs = std::filesystem;
using imaging::ErrorKind;

std::string FramePngName(int number)
{
    char name[32];
    std::snprintf(name, sizeof name, "frame-%04d.png", number);
    return name;
}

int FramePngNumber(const std::string& name)
{
    constexpr std::string_view kPrefix = "frame-", kSuffix = ".png";
    if (name.size() <= kPrefix.size() + kSuffix.size() || name.size() > 20 || name.rfind(kPrefix, 0) != 0
        || name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0)
        return 0;
    const std::string digits = name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
    if (digits.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    const long long number = std::stoll(digits);
    if (number < 1 || number > 99999999 || FramePngName(static_cast<int>(number)) != name)
        return 0;
    return static_cast<int>(number);
}

bool RemoveSurplusFrames(const imaging::OutputFolder& folder, int count, imaging::Error* error)
{
    // Listed through the held folder.
    const std::string dir = folder.entry(".");
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (FramePngNumber(name) <= count)
            continue;
        if (!imaging::RemoveFromOutputFolder(folder, name, error))
            return false;
    }
    if (ec)
        return imaging::Fail(error, ErrorKind::Unwritable, folder.path, "cannot be listed: " + ec.message());
    return true;
}

} // namespace qf
