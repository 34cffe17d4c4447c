// A small map from packed colours to palette indexes, for the few hundred
// distinct colours a GIF frame can hold.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

namespace qf::imaging {

// Colours are packed as 0xFFRRGGBB (opaque); 0, a transparent pixel, is
// never stored.
class ColourIndex {
public:
    ColourIndex() { keys_.fill(0); }

    // The index of colour, or -1.
    int find(std::uint32_t colour) const
    {
        for (std::uint32_t slot = Hash(colour);; slot = (slot + 1) & (kSlots - 1)) {
            if (keys_[slot] == colour)
                return values_[slot];
            if (keys_[slot] == 0)
                return -1;
        }
    }

    // Adds colour with index unless it is there; returns its index. Holds at
    // most kCapacity colours; beyond that it returns -1 without adding.
    int insert(std::uint32_t colour, int index)
    {
        std::uint32_t slot = Hash(colour);
        for (;; slot = (slot + 1) & (kSlots - 1)) {
            if (keys_[slot] == colour)
                return values_[slot];
            if (keys_[slot] == 0)
                break;
        }
        if (size_ >= kCapacity)
            return -1;
        keys_[slot] = colour;
        values_[slot] = static_cast<std::int16_t>(index);
        ++size_;
        return index;
    }

    static constexpr int kCapacity = 512;

private:
    static constexpr std::uint32_t kSlots = 2048;
    static std::uint32_t Hash(std::uint32_t colour) { return (colour * 2654435761u) >> 21; }

    std::array<std::uint32_t, kSlots> keys_;
    std::array<std::int16_t, kSlots> values_{};
    int size_ = 0;
};

} // namespace qf::imaging
