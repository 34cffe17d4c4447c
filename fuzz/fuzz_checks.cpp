#include "fuzz_checks.h"

#include "engine/engine.h"
#include "imaging/gif/gif_reader.h"
#include "imaging/webp/webp_reader.h"
#include "pipeline/pencil_texture.h"
#include "pipeline/picture.h"
#include "pipeline/pixel_bridge.h"

#include <algorithm>
#include <vector>

namespace qf::fuzz {

namespace {

// Pixels the reader composites per input before the checks stop: enough for
// every frame of any small GIF, while a 1 KB file of 1,000 full-screen frames
// on a large screen cannot hold a fuzzing run for minutes. Screens above
// kLargestDecodedScreen are opened and described but not decoded: the same
// code paths run at any size, and each such run would cost seconds.
constexpr long long kDecodeBudget = 16ll << 20;
constexpr long long kLargestDecodedScreen = 4ll << 20;
constexpr int kEngineSide = 64;
constexpr int kEngineFrames = 2;

// The top-left corner of an RGBA frame.
imaging::RgbaImage TopLeft(const imaging::RgbaImage& frame, int width, int height)
{
    imaging::RgbaImage corner{width, height,
                              std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 4)};
    for (int y = 0; y < height; ++y) {
        std::copy_n(frame.pixels.begin() + static_cast<std::ptrdiff_t>(y) * frame.width * 4,
                    static_cast<std::size_t>(width) * 4,
                    corner.pixels.begin() + static_cast<std::ptrdiff_t>(y) * width * 4);
    }
    return corner;
}

std::string RenderThroughEngine(const imaging::RgbaImage& frame, int frameNumber, int variant,
                                const Switches& switches)
{
    const imaging::RgbaImage corner =
        TopLeft(frame, std::min(frame.width, kEngineSide), std::min(frame.height, kEngineSide));
    const Picture small = ReadFrame(corner);
    if (small.width() != corner.width || small.height() != corner.height) {
        return "ReadFrame changed the frame's size";
    }
    EngineState state;
    state.SetPencilTexture(DefaultPencilTexture());
    PictureToPlanes(small, state.SourcePlanes);
    state.MaxX = small.width() - 1;
    state.MaxY = small.height() - 1;
    state.ComputeEffectLayers(variant, frameNumber, switches);
    state.RenderVariant(variant, switches);
    Picture rendered(small.width(), small.height());
    PlanesToPicture(state.SourcePlanes, rendered);
    return {};
}

// Opens the file at path with reader, then decodes its frames in order
// and renders the first through the engine, with a variant and switches
// picked from the last bytes (which follow the trailer or the last chunk in
// most inputs, and so rarely matter to the decoder). *decoded is the number
// of frames decoded: 0 for a refused file or a screen too large to decode.
// A reader that checks frames only as it decodes them (lateDamage) may fail
// on a frame, with a reason naming the file, instead of refusing at open.
template <class Reader>
std::string OpenAndDecode(Reader& reader, const std::string& path, const std::uint8_t* data, std::size_t size,
                          bool lateDamage, int* decoded)
{
    *decoded = 0;
    const std::uint8_t last = size > 0 ? data[size - 1] : 0;
    const std::uint8_t beforeLast = size > 1 ? data[size - 2] : 0;
    const int variant = last % 17;
    Switches switches;
    switches.ColorSketch = beforeLast & 1;
    switches.Sharpen = (beforeLast >> 1) & 1;
    switches.MixColor = (beforeLast >> 2) & 1;
    switches.Adjust = (beforeLast >> 3) & 1;
    switches.Blur = (beforeLast >> 4) & 1;

    imaging::Error error;
    if (!reader.open(path, &error)) {
        if (!error || error.reason.empty() || error.file != path) {
            return "refused without a reason naming the file";
        }
        return {};
    }
    const imaging::AnimationInfo info = reader.info();
    if (info.width <= 0 || info.height <= 0 || info.frameCount <= 0
        || info.delays.size() != static_cast<std::size_t>(info.frameCount)) {
        return "opened with an inconsistent description";
    }
    const long long area = static_cast<long long>(info.width) * info.height;
    if (area > kLargestDecodedScreen) {
        return {};
    }
    const int framesToDecode =
        static_cast<int>(std::min<long long>(info.frameCount, std::max<long long>(1, kDecodeBudget / area)));

    imaging::RgbaImage frame;
    for (int n = 1; n <= framesToDecode; ++n) {
        if (!reader.readNext(frame, &error)) {
            if (lateDamage && error && error.file == path && !error.reason.empty()) {
                return {};
            }
            return "frame " + std::to_string(n) + " of " + std::to_string(info.frameCount)
                   + " does not decode: " + error.message();
        }
        if (frame.width != info.width || frame.height != info.height
            || frame.pixels.size() != static_cast<std::size_t>(area) * 4) {
            return "a frame of the wrong size";
        }
        if (n <= kEngineFrames) {
            const std::string problem = RenderThroughEngine(frame, n, variant, switches);
            if (!problem.empty()) {
                return problem;
            }
        }
    }
    if (framesToDecode == info.frameCount) {
        error = {};
        if (reader.readNext(frame, &error).status != imaging::ReadStatus::End || error) {
            return "a frame, or an error, after the last frame";
        }
    }
    *decoded = framesToDecode;
    return {};
}

} // namespace

std::string CheckGifFile(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    imaging::GifReader reader;
    int decoded = 0;
    if (std::string problem = OpenAndDecode(reader, path, data, size, false, &decoded);
        !problem.empty() || decoded == 0) {
        return problem;
    }
    const imaging::AnimationInfo& info = reader.info();
    const imaging::AnimationDamage& damage = reader.damage();
    if (damage
        && (damage.afterFrame > info.frameCount || damage.framesRead != info.frameCount
            || damage.what.empty())) {
        return "damage reported after a frame that is not there";
    }
    // Reading the codes alone finds the damage decoding found.
    imaging::GifReader checked;
    imaging::Error checkError;
    if (!checked.open(path, &checkError) || !checked.checkData(&checkError)) {
        return "the image data cannot be checked: " + checkError.message();
    }
    if (checked.damage().what != damage.what || checked.damage().afterFrame != damage.afterFrame) {
        return "checking the codes finds other damage (" + checked.damage().what + ") than decoding ("
               + damage.what + ")";
    }
    // Random access to one frame chosen by the bytes, which may pass frames
    // over undecoded, shows it as decoding every frame does; and a frame
    // that is not there.
    const int pick = 1 + (size > 1 ? data[size - 2] : 0) % decoded;
    imaging::RgbaImage frame;
    imaging::RgbaImage inOrder;
    imaging::Error error;
    imaging::GifReader again;
    if (!again.open(path, &error)) {
        return "does not open a second time";
    }
    for (int n = 1; n <= pick; ++n) {
        if (!again.readNext(inOrder, &error)) {
            return "frame " + std::to_string(n) + " does not decode a second time";
        }
    }
    if (!reader.readFrame(pick, frame, &error)) {
        return "frame " + std::to_string(pick) + " does not decode when read directly";
    }
    if (frame.pixels != inOrder.pixels) {
        return "frame " + std::to_string(pick) + " read directly differs from the same frame read in order";
    }
    if (reader.readFrame(info.frameCount + 1, frame, &error)) {
        return "a frame past the end decodes";
    }
    return {};
}

std::string CheckWebpFile(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    imaging::WebpReader reader;
    int decoded = 0;
    return OpenAndDecode(reader, path, data, size, true, &decoded);
}

} // namespace qf::fuzz
