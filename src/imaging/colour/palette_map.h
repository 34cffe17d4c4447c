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

    bool empty() const { return entries_.index.empty(); }
    // The entry nearest (r, g, b). Not for use from two threads at once: it
    // fills its cells as it goes.
    int find(int r, int g, int b) const
    {
        return static_cast<int>(answer(r << 16 | g << 8 | b) >> 24 & 0xFF);
    }

    // The entry nearest colour (0xRRGGBB) and the entry's own colour, as
    // index << 24 | 0xRRGGBB. Inline: a dithered frame asks once a pixel,
    // and most answers come from the slots, which give the entry's colour
    // along with it, so that the pixel's error needs no second look-up.
    std::uint32_t answer(std::uint32_t colour) const
    {
        const std::uint32_t slot = Slot(colour);
        const std::uint64_t held = asked_[slot];
        if (held >> 32 == colour)
            return static_cast<std::uint32_t>(held);
        return searchAndKeep(colour, slot);
    }

private:
    // Entries channel by channel, so that a cube's candidates are worked
    // out for many entries at once.
    struct Channels {
        std::vector<std::uint8_t> r, g, b, index;
        void clear()
        {
            r.clear();
            g.clear();
            b.clear();
            index.clear();
        }
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
    // A cube's list is made when a colour in it is first looked for. A
    // coarse cube whose list fits one block of 16 is searched as that block,
    // without fine cubes: most are so on film, where a palette's colours lie
    // spread out. A cube's list of more than one block is kept in order of
    // distance to the cube, so that a search stops at the first block
    // further than the nearest found.
    // Where a cube's list lies; start and count side by side, so that a
    // look-up touches one cache line.
    struct List {
        std::int32_t start; // -1: not made yet
        std::int32_t count;
    };
    // Coarse cubes: a list of at most 16 entries is its block (0 or 1) among
    // the fine cubes' blocks; a longer one lists entries in Cubes::entries.
    struct Cubes {
        std::vector<List> lists;
        Channels entries;
        std::vector<std::size_t> filled; // the cubes whose lists are made
    };
    // Fine cubes: lists of blocks of 16 entries, channel by channel, so that
    // a search works out the distances to 16 entries at once. A list's
    // last block repeats its first entry in its unused places.
    struct Block {
        std::array<std::uint8_t, 16> r, g, b, index;
    };
    struct FineCubes {
        std::vector<List> lists; // of blocks
        std::vector<Block> blocks;
        std::vector<std::int32_t> reach; // a block's first entry's
        std::vector<std::size_t> filled;
    };
    // The entries of from[first, first + count) that can be nearest to some
    // colour of the cube of side levels that holds (r, g, b), in the order
    // of from: each entry's squared distance to the cube << 8 | index goes
    // to keys[0, returned count). keys has room for count.
    static std::size_t Candidates(int side, int r, int g, int b, const Channels& from, std::size_t first,
                                  std::size_t count, std::uint32_t* keys);
    // The blocks to search for (r, g, b), made if need be.
    List blocksFor(int r, int g, int b) const;
    // Cuts keys_[0, count) into blocks, in order of distance when more than
    // one, and gives where they lie.
    List keepBlocks(std::size_t count) const;

    int search(int r, int g, int b) const;
    std::uint32_t searchAndKeep(std::uint32_t colour, std::uint32_t slot) const;

    // Slots of the cache of colours looked for: 4096 slots catch the
    // repeats of a dithered frame; more find few more.
    static constexpr int kAskedBits = 12;
    static constexpr std::uint32_t Slot(std::uint32_t colour)
    {
        return (colour * 2654435761u) >> (32 - kAskedBits);
    }

    Channels entries_; // opaque entries, by index
    std::vector<std::uint32_t> palette_;
    mutable Cubes coarse_;
    mutable FineCubes fine_;
    mutable std::vector<std::uint32_t> keys_; // a cube's list before it is kept
    // Colours already looked for, one per slot by a hash of the colour:
    // dithering asks for the same few colours again and again around a
    // pixel, and a slot is cheaper than a cube's list. A slot holds the
    // colour asked in its upper half and the answer (see answer) in its
    // lower; an empty one holds no colour in its upper half.
    mutable std::vector<std::uint64_t> asked_;
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
