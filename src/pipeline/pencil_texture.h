// The pencil-paper texture bundled with the program.
#pragma once

#include "engine/engine.h"

namespace qf {

// The bundled 104 x 120 pencil-paper texture, read the way the pixel bridge
// reads any picture (bottom row first). Decoded once; thread-safe.
const ColourPlane& DefaultPencilTexture();

// Gives state the bundled pencil-paper textures (PencilTexture and its
// rotated copy PencilTexture2).
void UseDefaultPencilTexture(EngineState& state);

} // namespace qf
