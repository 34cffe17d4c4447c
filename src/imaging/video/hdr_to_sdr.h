#pragma once

#include <cstddef>
#include <cstdint>

namespace qf::imaging {

// Pictures of high dynamic range (BT.2100: PQ, as recorded by cameras
// for HDR10, or HLG, as phones record by default, both in BT.2020 colours)
// made into ordinary sRGB pictures, as a player on an ordinary screen shows
// them. Read as if they were ordinary, they come out grey and pale: their
// signal spends half its range on highlights an ordinary screen cannot show,
// and their primaries lie further out than sRGB's.
//
// The signal is turned into light with the reference white (203 cd/m²,
// BT.2408) at 1; HLG's scene light is shown as on a 1000 cd/m² display
// (system gamma 1.2). The light is taken to BT.709 primaries, colours outside
// them clipped, and highlights above 80% of white are rolled off smoothly
// towards white (on each pixel's brightest channel, so hues keep), so that
// what lies below keeps its light.
bool IsHdrTransfer(int transfer); // an AVColorTransferCharacteristic

// Writes pixels RGBA pixels of 8 bits a channel from planes R, G, B and A
// of 16 bits a channel (the signal of transfer in BT.2020 primaries, full
// range; A null for opaque). transfer must be one IsHdrTransfer accepts.
void HdrToSdr(int transfer, const std::uint16_t* const planes[4], std::size_t pixels, std::uint8_t* rgba);

} // namespace qf::imaging
