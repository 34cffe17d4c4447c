// Mapping pixels to a chosen palette with error diffusion.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace qf::imaging {

// Finds the palette entry nearest a colour by summed squared channel
// difference, ties going to the lower entry. Transparent entries (0) are
// never chosen.
class NearestColour {
public:
    // palette: packed 0xFFRRGGBB, or 0 for a transparent entry.
    explicit NearestColour(const std::vector<std::uint32_t>& palette);
    // Starts again with another palette, keeping the storage.
    void assign(const std::vector<std::uint32_t>& palette);

    bool empty() const { return entries_.empty(); }
    // The entry nearest (r, g, b). Not for use from two threads at once: it
    // fills its cells as it goes. Inline: a dithered frame asks once a pixel,
    // and most answers come from the slots.
    int find(int r, int g, int b) const
    {
        const std::uint32_t colour = static_cast<std::uint32_t>(r << 16 | g << 8 | b);
        const std::uint32_t slot = Slot(colour);
        const std::uint32_t held = asked_[slot];
        if (held >> 8 == colour)
            return static_cast<int>(held & 0xFF);
        return searchAndKeep(r, g, b, slot);
    }

private:
    struct Entry {
        std::int32_t r, g, b;
        std::int32_t index;
        std::int32_t reach; // in a cube's list: the squared distance to the cube
    };
    // Colour space is cut into cubes; the candidates of a cube are the
    // entries that can be nearest to some colour in it: those no further
    // from the cube than the farthest corner of the cube is from the entry
    // that lies best. Coarse cubes of 16 levels a side take their
    // candidates from all entries, fine ones of 8 from their coarse cube's.
    // (Fine cubes of 4 find a little shorter lists, but on film, where
    // every frame has a palette of its own and fills its cubes afresh, their
    // 2 MB of lists miss the processor's caches and cost more than they
    // save: with 8 a side making and finding the lists takes less than half
    // the time, and searching them no more.)
    // A cube's list is made when a colour in it is first looked for, and is
    // kept in order of distance to the cube, so that a search stops at the
    // first entry further than the nearest found.
    // Where a cube's list lies in Cubes::entries; start and count side by
    // side, so that a look-up touches one cache line.
    struct List {
        std::int32_t start; // -1: not made yet
        std::int32_t count;
    };
    struct Cubes {
        std::vector<List> lists;
        std::vector<Entry> entries;
        std::vector<std::size_t> filled; // the cubes whose lists are made
    };
    static void fill(Cubes& cubes, std::size_t cube, int side, int r, int g, int b, const Entry* from,
                     std::size_t count);
    const Entry* candidates(int r, int g, int b, std::size_t* count) const;

    int search(int r, int g, int b) const;
    int searchAndKeep(int r, int g, int b, std::uint32_t slot) const;

    // Slots of the cache of colours looked for: 4096 slots (16 KB) catch
    // the repeats of a dithered frame; more find few more and crowd the
    // processor's nearest cache.
    static constexpr int kAskedBits = 12;
    static constexpr std::uint32_t Slot(std::uint32_t colour)
    {
        return (colour * 2654435761u) >> (32 - kAskedBits);
    }

    std::vector<Entry> entries_; // opaque entries, by index
    mutable Cubes coarse_;
    mutable Cubes fine_;
    // Colours already looked for, one per slot by a hash of the colour:
    // dithering asks for the same few colours again and again around a
    // pixel, and a slot is cheaper than a cube's list. A slot holds the
    // colour above the entry found, in the low byte; an empty one holds a
    // colour that does not belong in it.
    mutable std::vector<std::uint32_t> asked_;
};

// Maps width x height straight-RGBA pixels (alpha 0 or 255) to palette, row
// by row from the top, with serpentine Floyd-Steinberg error diffusion of
// strength dithering (0: none, 1: full). Transparent pixels map to the
// palette's transparent entry and pass no error on. indexes holds one entry
// per pixel. The palette has at least one opaque entry, and a transparent
// one when any pixel is transparent.
void MapToPalette(const std::uint8_t* rgba, int width, int height, const std::vector<std::uint32_t>& palette,
                  float dithering, std::uint8_t* indexes);

} // namespace qf::imaging
