#include "imaging/files/output_paths.h"

#include "imaging/errors.h"
#include "imaging/files/temporary_names.h"

#include <cerrno>
#include <climits>
#include <deque>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qf::imaging {

namespace {

namespace fs = std::filesystem;

std::string PathReason(int code)
{
    switch (code) {
    case ENOTDIR:
        return "a part of the path is not a folder";
    case EACCES:
        return "a folder on the path cannot be entered (permission denied)";
    case ELOOP:
        return "the path has too many levels of links";
    case ENAMETOOLONG:
        return "the name is too long";
    default:
        return "cannot be looked up (" + SystemReason(code) + ")";
    }
}

constexpr std::string_view kHeldPrefix = "/proc/self/fd/";

// Whether path is /proc/self/fd/N/name, as OutputFolder::entry makes it.
bool IsHeldEntry(std::string_view path)
{
    if (path.substr(0, kHeldPrefix.size()) != kHeldPrefix)
        return false;
    path.remove_prefix(kHeldPrefix.size());
    const std::size_t slash = path.find('/');
    return slash > 0 && slash != std::string_view::npos && slash + 1 < path.size()
           && path.find_first_not_of("0123456789") == slash;
}

std::string KindReason(mode_t mode)
{
    if (S_ISDIR(mode))
        return "is a folder, not a file";
    if (S_ISFIFO(mode))
        return "is a pipe, not a file; the output must be a file that can be replaced";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "is a device, not a file";
    if (S_ISSOCK(mode))
        return "is a socket, not a file";
    return "is not a regular file";
}

// Whether someone other than the user may create or replace names in the
// folder: its group or everyone may write it, or another user owns it.
bool WritableByOthers(const struct stat& folder)
{
    return (folder.st_mode & (S_IWGRP | S_IWOTH)) != 0
           || (folder.st_uid != ::geteuid() && (folder.st_mode & S_IWUSR) != 0);
}

// Where a path leads: every link on the way replaced by what it names.
struct Walk {
    fs::path resolved;          // absolute, without links
    bool exists = false;        // the last part is there (else resolved names what would be made)
    bool folderMissing = false; // a folder before the last part is missing
    struct stat info {};        // of the last part, when it exists
    std::string lastLink;       // the last link followed, for messages
};

// Follows path part by part as the system does, refusing a link another
// user owns in a folder others can write. An error is the reason alone.
// A relative path starts from `from` when given (a held folder's entry).
bool WalkPath(const std::string& path, Walk* walk, std::string* reason, const fs::path& from = {})
{
    std::error_code ec;
    fs::path base = fs::path(path).is_absolute() ? fs::path("/") : from.empty() ? fs::current_path(ec) : from;
    if (ec) {
        *reason = PathReason(ec.value());
        return false;
    }
    std::deque<std::string> parts;
    for (const fs::path& part : fs::path(path).relative_path())
        parts.push_back(part.string());
    int links = 0;
    walk->exists = true;
    // A path of "." and ".." parts alone ("./", "..") names the folder
    // started from or one above it.
    if (::stat(base.c_str(), &walk->info) != 0) {
        *reason = PathReason(errno);
        return false;
    }
    while (!parts.empty()) {
        const std::string part = parts.front();
        parts.pop_front();
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            // Above a held folder: the folder it now is, by name.
            if (!from.empty() && base == from)
                base = fs::read_symlink(from, ec);
            base = base.parent_path();
            if (::stat(base.c_str(), &walk->info) != 0) {
                *reason = PathReason(errno);
                return false;
            }
            continue;
        }
        const fs::path candidate = base / part;
        struct stat info {};
        if (::lstat(candidate.c_str(), &info) != 0) {
            if (errno != ENOENT) {
                *reason = PathReason(errno);
                return false;
            }
            walk->exists = false;
            walk->folderMissing = !parts.empty();
            base = candidate;
            for (const std::string& rest : parts)
                base /= rest;
            break;
        }
        if (S_ISLNK(info.st_mode)) {
            if (++links > 40) {
                *reason = PathReason(ELOOP);
                return false;
            }
            struct stat folder {};
            if (info.st_uid != ::geteuid() && info.st_uid != 0 && ::stat(base.c_str(), &folder) == 0
                && WritableByOthers(folder)) {
                *reason =
                    (walk->lastLink.empty() && parts.empty() ? std::string("is") : candidate.string() + " is")
                    + " a link owned by another user in a folder others can write; it is not followed: "
                      "remove it or write to another name";
                return false;
            }
            // A link to a pipe or a device (/dev/stdout) names no path to
            // follow: what it leads to is the answer.
            struct stat pointed {};
            if (::stat(candidate.c_str(), &pointed) == 0 && !S_ISREG(pointed.st_mode)
                && !S_ISDIR(pointed.st_mode)) {
                base = candidate;
                walk->info = pointed;
                break;
            }
            char text[PATH_MAX];
            const ssize_t length = ::readlink(candidate.c_str(), text, sizeof text);
            if (length <= 0 || static_cast<std::size_t>(length) >= sizeof text) {
                *reason = PathReason(length < 0 ? errno : ENAMETOOLONG);
                return false;
            }
            const fs::path target(std::string(text, static_cast<std::size_t>(length)));
            walk->lastLink = candidate.string();
            if (target.is_absolute())
                base = "/";
            std::deque<std::string> more;
            for (const fs::path& p : target.relative_path())
                more.push_back(p.string());
            parts.insert(parts.begin(), more.begin(), more.end());
            continue;
        }
        if (!parts.empty() && !S_ISDIR(info.st_mode)) {
            *reason = PathReason(ENOTDIR);
            return false;
        }
        base = candidate;
        walk->info = info;
    }
    walk->resolved = base;
    return true;
}

} // namespace

bool ResolveOutputFile(const std::string& destination, std::string* target, Error* error)
{
    if (destination.empty())
        return Fail(error, ErrorKind::Unwritable, destination, "the output file name is empty");
    // An entry of a held folder (OutputFolder::entry) is walked from the
    // folder's descriptor, never from its name.
    const bool held = IsHeldEntry(destination);
    const std::size_t slash = held ? destination.find('/', kHeldPrefix.size()) : 0;
    Walk walk;
    std::string reason;
    if (!(held ? WalkPath(destination.substr(slash + 1), &walk, &reason, destination.substr(0, slash))
               : WalkPath(destination, &walk, &reason)))
        return Fail(error, ErrorKind::Unwritable, destination, reason);
    const std::string leadsTo =
        walk.lastLink.empty() ? std::string() : " (the link leads to " + walk.resolved.string() + ")";
    if (walk.folderMissing)
        return Fail(error, ErrorKind::Unwritable, destination, "the folder does not exist" + leadsTo);
    if (walk.exists && !S_ISREG(walk.info.st_mode))
        return Fail(error, ErrorKind::Unwritable, destination, KindReason(walk.info.st_mode));
    *target = walk.resolved.string();
    return true;
}

namespace {

// Holds the folder fd (taking it over) in *folder. A folder this run made
// is kept for removal by a program that ends at once on a stop request
// until it is let go.
void Hold(int fd, OutputFolder* folder)
{
    if (folder->madeByThisRun)
        RememberMadeFolder(fd, folder->path);
    folder->held = std::shared_ptr<const int>(new int(fd), [](const int* held) {
        ForgetMadeFolder(*held);
        ::close(*held);
        delete held;
    });
}

} // namespace

std::string OutputFolder::entry(const std::string& name) const
{
    if (!held)
        return shown(name);
    return std::string(kHeldPrefix) + std::to_string(*held) + "/" + name;
}

std::string OutputFolder::shown(const std::string& name) const
{
    return (fs::path(path) / name).string();
}

bool OpenOutputFolder(const std::string& path, OutputFolder* folder, Error* error)
{
    *folder = {};
    folder->path = path;
    if (path.empty())
        return Fail(error, ErrorKind::Unwritable, path, "the folder name is empty");
    Walk walk;
    std::string reason;
    if (!WalkPath(path, &walk, &reason))
        return Fail(error, ErrorKind::Unwritable, path, reason);
    if (walk.exists && !S_ISDIR(walk.info.st_mode))
        return Fail(error, ErrorKind::Unwritable, path, "exists and is not a folder");
    if (!walk.exists) {
        std::error_code ec;
        if (!fs::create_directories(walk.resolved, ec) && ec)
            return Fail(error, ErrorKind::Unwritable, path, "cannot create the folder: " + ec.message());
        folder->madeByThisRun = true;
    }
    // The path walked has no links left: opened without following one, it
    // is the folder just checked (or made).
    const int fd = ::open(walk.resolved.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat opened {};
    if (fd < 0 || ::fstat(fd, &opened) != 0
        || (walk.exists && (opened.st_dev != walk.info.st_dev || opened.st_ino != walk.info.st_ino))) {
        const int code = fd < 0 ? errno : EAGAIN;
        if (fd >= 0)
            ::close(fd);
        return Fail(error, ErrorKind::Unwritable, path,
                    code == EAGAIN ? std::string("was replaced while it was checked")
                                   : "cannot be opened (" + SystemReason(code) + ")");
    }
    Hold(fd, folder);
    return true;
}

bool OpenOutputFolder(const OutputFolder& parent, const std::string& name, OutputFolder* folder, Error* error)
{
    *folder = {};
    folder->path = parent.shown(name);
    const int at = parent.held ? *parent.held : AT_FDCWD;
    const std::string where = parent.held ? name : folder->path;
    if (!parent.held)
        return OpenOutputFolder(folder->path, folder, error);
    if (::mkdirat(at, where.c_str(), 0777) == 0)
        folder->madeByThisRun = true;
    else if (errno != EEXIST)
        return Fail(error, ErrorKind::Unwritable, folder->path,
                    "cannot create the folder: " + SystemReason(errno));
    int fd = ::openat(at, where.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == ELOOP) {
        // A link: followed unless another user planted it in a folder
        // others can write.
        struct stat link {
        }, holder{};
        if (::fstatat(at, where.c_str(), &link, AT_SYMLINK_NOFOLLOW) == 0 && ::fstat(at, &holder) == 0
            && link.st_uid != ::geteuid() && link.st_uid != 0 && WritableByOthers(holder))
            return Fail(error, ErrorKind::Unwritable, folder->path,
                        "is a link owned by another user in a folder others can write; it is not followed: "
                        "remove it or write to another name");
        fd = ::openat(at, where.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    if (fd < 0)
        return Fail(error, ErrorKind::Unwritable, folder->path,
                    errno == ENOTDIR ? std::string("exists and is not a folder")
                                     : "cannot be opened (" + SystemReason(errno) + ")");
    Hold(fd, folder);
    return true;
}

void RemoveMadeFolder(const OutputFolder& folder, const std::function<bool(const std::string&)>& ours)
{
    if (!folder.madeByThisRun || !folder.held)
        return;
    const int fd = ::dup(*folder.held);
    DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!dir) {
        if (fd >= 0)
            ::close(fd);
        return;
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir))
        names.emplace_back(entry->d_name);
    for (const std::string& name : names) {
        struct stat info {};
        if (ours(name) && ::fstatat(*folder.held, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0
            && S_ISREG(info.st_mode))
            ::unlinkat(*folder.held, name.c_str(), 0);
    }
    ::closedir(dir);
    // Only while it is still the folder made and empty.
    struct stat held {
    }, named{};
    if (::fstat(*folder.held, &held) == 0 && ::lstat(folder.path.c_str(), &named) == 0
        && held.st_dev == named.st_dev && held.st_ino == named.st_ino)
        ::rmdir(folder.path.c_str());
}

bool RemoveFromOutputFolder(const OutputFolder& folder, const std::string& name, Error* error)
{
    const int dir =
        folder.held ? ::dup(*folder.held) : ::open(folder.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return Fail(error, ErrorKind::Unwritable, folder.path,
                    "cannot be opened (" + SystemReason(errno) + ")");
    struct stat info {};
    bool ok = true;
    if (!folder.madeByThisRun && (::fstat(dir, &info) != 0 || info.st_uid != ::geteuid())) {
        ::close(dir);
        return true;
    }
    if (::fstatat(dir, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode)
        && ::unlinkat(dir, name.c_str(), 0) != 0 && errno != ENOENT)
        ok = Fail(error, ErrorKind::Unwritable, (fs::path(folder.path) / name).string(),
                  "cannot be removed (" + SystemReason(errno) + ")");
    ::close(dir);
    return ok;
}

std::string FolderNameFor(const std::string& name)
{
    return name.empty() || name == "." || name == ".." ? "_" + name : name;
}

bool SameFile(const std::string& a, const std::string& b)
{
    struct stat first {
    }, second{};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev
           && first.st_ino == second.st_ino;
}

} // namespace qf::imaging
