#include "imaging/clip_module.h"

#include "imaging/errors.h"
#include "version.h"

#include <dlfcn.h>
#include <sys/auxv.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <mutex>

namespace qf::imaging {

namespace {

// The folder of the running program, with a final slash; empty when the
// system does not tell. Without /proc (a bare chroot) the name it was
// started by is followed to the file.
std::string ProgramFolder()
{
    std::array<char, 4096> path{};
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
    std::string program;
    if (length > 0) {
        program.assign(path.data(), static_cast<std::size_t>(length));
    } else {
        // NOLINTNEXTLINE(performance-no-int-to-ptr): the system hands the name over as a number
        const auto* started = reinterpret_cast<const char*>(::getauxval(AT_EXECFN));
        std::error_code error;
        if (started)
            program = std::filesystem::canonical(started, error).string();
    }
    const std::size_t slash = program.rfind('/');
    return slash == std::string::npos ? std::string() : program.substr(0, slash + 1);
}

struct Loaded {
    const ClipFunctions* functions = nullptr;
    std::string failure;
};

Loaded Load()
{
    const std::string folder = ProgramFolder();
    if (folder.empty())
        return {nullptr, std::string(kClipModuleFile) + " cannot be found: the program's folder is unknown"};
    // A build tree keeps the module beside each program; an installed tree
    // keeps it in its own folder under the library folder.
    const std::string candidates[] = {folder + kClipModuleFile,
                                      folder + QF_CLIP_MODULE_FROM_BIN + "/" + kClipModuleFile};
    for (const std::string& path : candidates) {
        if (::access(path.c_str(), F_OK) != 0)
            continue;
        // Its symbols stay its own: it carries its own copies of the code it
        // shares with the program. Its calls into FFmpeg's libraries, and
        // theirs into the libraries below them, are bound as they are first
        // made, as when the program linked them (binding them all at once
        // cost every clip's run 15 million instructions, some 4 ms).
        void* handle = ::dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
        if (!handle) {
            const char* why = ::dlerror();
            return {nullptr, path + " cannot be loaded (" + (why ? why : "no reason given") + ")"};
        }
        using Entry = const ClipFunctions* (*)();
        const auto entry = reinterpret_cast<Entry>(::dlsym(handle, kClipModuleEntry));
        const ClipFunctions* functions = entry ? entry() : nullptr;
        std::string wrong;
        if (!functions)
            wrong = path + " is no clip module of this program";
        else if (std::strcmp(functions->version, kVersion) != 0)
            wrong = path + " belongs to release " + functions->version + ", not " + kVersion;
        if (wrong.empty())
            return {functions, {}};
        ::dlclose(handle);
        return {nullptr, wrong};
    }
    const auto folderOf = [](const std::string& path) {
        return std::filesystem::path(path).parent_path().lexically_normal().string();
    };
    return {nullptr, std::string(kClipModuleFile) + ", which reads and writes clips, is in neither "
                         + folderOf(candidates[0]) + " nor " + folderOf(candidates[1])};
}

// Stands in for a clip's writer when the module cannot be loaded: it fails
// at open, with the reason.
class UnloadableClipWriter final : public AnimationWriter {
public:
    explicit UnloadableClipWriter(std::string reason) : reason_(std::move(reason)) {}
    bool open(const std::string& path, int, int, int, Error* error) override
    {
        return Fail(error, ErrorKind::LibraryFailed, path, "cannot be written as a clip: " + reason_);
    }
    bool addFrame(const ImageView&, int, Error* error) override { return Refuse(error); }
    std::unique_ptr<OutputFrame> newFrame() override { return std::make_unique<OutputFrame>(); }
    void take(OutputFrame&, const ImageView&) override {}
    bool link(OutputFrame&, int, Error* error) override { return Refuse(error); }
    bool prepare(OutputFrame&, Error* error) override { return Refuse(error); }
    void show(OutputFrame&) override {}
    bool compress(OutputFrame&, Error* error) override { return Refuse(error); }
    bool append(OutputFrame&, int*, Error* error) override { return Refuse(error); }
    bool finish(Error* error) override { return Refuse(error); }
    void abort() override {}

private:
    bool Refuse(Error* error) const
    {
        return Fail(error, ErrorKind::InvalidArgument, {}, "no clip is being written");
    }
    std::string reason_;
};

} // namespace

const ClipFunctions* ClipModule(std::string* reason)
{
    static std::once_flag once;
    static Loaded loaded;
    std::call_once(once, [] { loaded = Load(); });
    if (!loaded.functions && reason)
        *reason = loaded.failure;
    return loaded.functions;
}

std::unique_ptr<AnimationReader> OpenClip(const std::string& path, std::function<bool()> cancelled,
                                          Error* error)
{
    std::string reason;
    const ClipFunctions* module = ClipModule(&reason);
    if (!module) {
        Fail(error, ErrorKind::LibraryFailed, path, "cannot be read as a video clip: " + reason);
        return nullptr;
    }
    return module->open(path, std::move(cancelled), error);
}

std::unique_ptr<AnimationWriter> MakeClipWriter(const OutputSettings& settings)
{
    std::string reason;
    const ClipFunctions* module = ClipModule(&reason);
    if (!module)
        return std::make_unique<UnloadableClipWriter>(reason);
    return module->writer(settings);
}

bool ClipHasSound(const std::string& file)
{
    const ClipFunctions* module = ClipModule();
    return module && module->hasSound(file);
}

bool ClipSoundBytes(const SoundPart& part, SoundCodec codec, int bitRate, double* bytes, Error* error)
{
    std::string reason;
    const ClipFunctions* module = ClipModule(&reason);
    if (!module)
        return Fail(error, ErrorKind::LibraryFailed, part.file, "its sound cannot be measured: " + reason);
    return module->soundBytes(part, codec, bitRate, bytes, error);
}

bool MeasureClipBytes(const std::string& path, ClipBytes* bytes)
{
    const ClipFunctions* module = ClipModule();
    return module && module->measure(path, bytes);
}

bool ScaleClipPicture(const RgbaImage& frame, int width, int height, RgbaImage& out)
{
    const ClipFunctions* module = ClipModule();
    return module && module->scale(frame, width, height, out);
}

} // namespace qf::imaging
