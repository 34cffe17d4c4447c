#include "pencil_texture.h"

#include "imaging/png/png_io.h"
#include "picture.h"
#include "pixel_bridge.h"

#include <stdexcept>

namespace qf {

// The bundled texture's PNG bytes, generated from assets/pencil_texture.png.
extern const unsigned char kPencilTexturePng[];
extern const std::size_t kPencilTexturePngSize;

const ColourPlane& DefaultPencilTexture()
{
    static const ColourPlane texture = [] {
        imaging::RgbaImage rgba;
        imaging::Error error;
        if (!imaging::DecodePng(kPencilTexturePng, kPencilTexturePngSize, rgba, &error))
            throw std::logic_error("the bundled pencil texture cannot be decoded: " + error.reason);
        ColourPlane planes;
        PictureToPlanes(ReadFrame(rgba), planes);
        return planes;
    }();
    return texture;
}

void UseDefaultPencilTexture(EngineState& state)
{
    state.SetPencilTexture(DefaultPencilTexture());
}

} // namespace qf
