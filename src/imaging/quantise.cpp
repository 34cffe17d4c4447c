#include "quantise.h"

#include <libimagequant.h>
#include <omp.h>

#include <memory>

namespace qf::imaging {

namespace {

struct AttrFree {
    void operator()(liq_attr* p) const { liq_attr_destroy(p); }
};
struct ImageFree {
    void operator()(liq_image* p) const { liq_image_destroy(p); }
};
struct ResultFree {
    void operator()(liq_result* p) const { liq_result_destroy(p); }
};

// Chosen by measuring the decoded animations against the exact frames: speed
// 1 is the slowest and best, 10 the fastest; faster than 4 loses PSNR.
// Half-strength dithering (the best level's) gives the same or better PSNR
// than full strength and slightly smaller files (dither noise compresses
// badly); none at all loses a little PSNR on photographic frames.
constexpr int kSpeed = 4;

} // namespace

bool QuantiseRgba(const std::uint8_t* rgba, int width, int height, const GifLevels& levels, QuantisedImage& out,
                  std::string* reason)
{
    // Frames are reduced on the caller's threads, one each: libimagequant's
    // own OpenMP threads would only compete with them, and idle ones spin.
    omp_set_num_threads(1);
    std::unique_ptr<liq_attr, AttrFree> attr(liq_attr_create());
    if (!attr) {
        *reason = "the colour quantiser cannot start";
        return false;
    }
    liq_set_max_colors(attr.get(), levels.colours);
    liq_set_speed(attr.get(), kSpeed);
    // Minimum quality 0: always produce a palette, however hard the frame.
    liq_set_quality(attr.get(), 0, levels.quantiserTarget);

    std::unique_ptr<liq_image, ImageFree> image(liq_image_create_rgba(attr.get(), rgba, width, height, 0));
    if (!image) {
        *reason = "the colour quantiser cannot take the frame";
        return false;
    }
    liq_result* raw = nullptr;
    if (liq_image_quantize(image.get(), attr.get(), &raw) != LIQ_OK || !raw) {
        *reason = "the colour quantiser failed";
        return false;
    }
    std::unique_ptr<liq_result, ResultFree> result(raw);
    liq_set_dithering_level(result.get(), levels.dithering);

    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    out.indexes.resize(count);
    if (liq_write_remapped_image(result.get(), image.get(), out.indexes.data(), count) != LIQ_OK) {
        *reason = "the colour quantiser failed";
        return false;
    }
    const liq_palette* palette = liq_get_palette(result.get());
    out.palette.resize(palette->count);
    for (unsigned i = 0; i < palette->count; ++i) {
        const liq_color& c = palette->entries[i];
        out.palette[i] = c.a < 128 ? 0u
                                   : 0xFF000000u | (static_cast<std::uint32_t>(c.r) << 16)
                                         | (static_cast<std::uint32_t>(c.g) << 8) | c.b;
    }
    return true;
}

} // namespace qf::imaging
