// Byte planes, the engine's only picture representation.
//
// A colour plane holds bytes indexed (channel, x, y): the channel varies
// fastest, then x, then y, so element (c, x, y) lies at c + C * (x + W * y).
// Row y = 0 is the BOTTOM row of the picture and y + 1 is the row above it.
// Channel 0 is blue, 1 green, 2 red; planes read from a picture have a
// fourth channel (the pad byte of a 32-bit pixel) that no stage reads.
// This is exactly the pixel block of a bottom-up 32-bit bitmap.
//
// A grey plane holds bytes indexed (x, y), x fastest, same row order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qf {

class ColourPlane {
public:
    ColourPlane() = default;
    ColourPlane(int channels, int width, int height) { reset(channels, width, height); }

    // Resizes the plane and fills it with zeros; existing storage is reused.
    void reset(int channels, int width, int height)
    {
        channels_ = channels;
        width_ = width;
        height_ = height;
        bytes_.assign(static_cast<std::size_t>(channels) * static_cast<std::size_t>(width)
                          * static_cast<std::size_t>(height),
                      0);
    }

    // Frees the storage; the plane becomes empty.
    void release()
    {
        std::vector<std::uint8_t>().swap(bytes_);
        channels_ = width_ = height_ = 0;
    }

    // Empties the plane like release() but keeps the storage for the next
    // reset(), so a frame-sized buffer is not handed back to the system and
    // faulted in again for every frame. Compares equal to a released plane.
    void clear()
    {
        bytes_.clear();
        channels_ = width_ = height_ = 0;
    }

    int channels() const { return channels_; }
    int width() const { return width_; }
    int height() const { return height_; }
    bool empty() const { return bytes_.empty(); }
    std::size_t size() const { return bytes_.size(); }

    std::uint8_t* data() { return bytes_.data(); }
    const std::uint8_t* data() const { return bytes_.data(); }

    std::size_t index(int c, int x, int y) const
    {
        return static_cast<std::size_t>(c)
               + static_cast<std::size_t>(channels_)
                     * (static_cast<std::size_t>(x)
                        + static_cast<std::size_t>(width_) * static_cast<std::size_t>(y));
    }
    std::uint8_t& operator()(int c, int x, int y) { return bytes_[index(c, x, y)]; }
    std::uint8_t operator()(int c, int x, int y) const { return bytes_[index(c, x, y)]; }

    friend bool operator==(const ColourPlane&, const ColourPlane&) = default;

private:
    std::vector<std::uint8_t> bytes_;
    int channels_ = 0;
    int width_ = 0;
    int height_ = 0;
};

class GreyPlane {
public:
    GreyPlane() = default;
    GreyPlane(int width, int height) { reset(width, height); }

    void reset(int width, int height)
    {
        width_ = width;
        height_ = height;
        bytes_.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    }
    void release()
    {
        std::vector<std::uint8_t>().swap(bytes_);
        width_ = height_ = 0;
    }
    void clear()
    {
        bytes_.clear();
        width_ = height_ = 0;
    }

    int width() const { return width_; }
    int height() const { return height_; }
    bool empty() const { return bytes_.empty(); }
    std::size_t size() const { return bytes_.size(); }

    std::uint8_t* data() { return bytes_.data(); }
    const std::uint8_t* data() const { return bytes_.data(); }

    std::size_t index(int x, int y) const
    {
        return static_cast<std::size_t>(x)
               + static_cast<std::size_t>(width_) * static_cast<std::size_t>(y);
    }
    std::uint8_t& operator()(int x, int y) { return bytes_[index(x, y)]; }
    std::uint8_t operator()(int x, int y) const { return bytes_[index(x, y)]; }

    friend bool operator==(const GreyPlane&, const GreyPlane&) = default;

private:
    std::vector<std::uint8_t> bytes_;
    int width_ = 0;
    int height_ = 0;
};

} // namespace qf
