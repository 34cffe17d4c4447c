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

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace qf {

namespace detail {

// The bytes of a plane, with their count kept apart from the storage behind
// them: a plane can be emptied and sized again without its storage being
// freed, faulted in and zero-filled again for every frame.
//
// The buffer also knows how many leading bytes of its storage are still
// zero from its last zero fill: nothing has had a pointer to write through
// since. A layer that a run only zero-fills and never draws (the poster
// layer while another variant is rendered, frame after frame) is then not
// filled again.
class ByteBuffer {
public:
    ByteBuffer() = default;
    ByteBuffer(const ByteBuffer& other)
        : storage_(other.data(), other.data() + other.size_), size_(other.size_)
    {}
    ByteBuffer& operator=(const ByteBuffer& other)
    {
        if (this != &other) {
            resize(other.size_);
            if (size_ > 0) {
                std::memcpy(data(), other.data(), size_);
            }
        }
        return *this;
    }
    ByteBuffer(ByteBuffer&& other) noexcept
        : storage_(std::move(other.storage_)), size_(std::exchange(other.size_, 0)),
          zeros_(std::exchange(other.zeros_, 0))
    {}
    ByteBuffer& operator=(ByteBuffer&& other) noexcept
    {
        storage_ = std::move(other.storage_);
        size_ = std::exchange(other.size_, 0);
        zeros_ = std::exchange(other.zeros_, 0);
        return *this;
    }

    // n bytes, all zero.
    void assignZeros(std::size_t n)
    {
        if (n > storage_.size()) {
            storage_.assign(n, 0);
        } else if (n > zeros_) {
            std::fill_n(storage_.data(), n, std::uint8_t{0});
        }
        zeros_ = std::max(zeros_, n);
        size_ = n;
    }
    // n bytes; those the storage already held keep their values.
    void resize(std::size_t n)
    {
        if (n > storage_.size()) {
            storage_.resize(n);
        }
        size_ = n;
    }
    void clear() { size_ = 0; }

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    // A pointer to write through: the storage is no longer known to be zero.
    std::uint8_t* data()
    {
        zeros_ = 0;
        return storage_.data();
    }
    const std::uint8_t* data() const { return storage_.data(); }

    friend bool operator==(const ByteBuffer& a, const ByteBuffer& b)
    {
        return a.size_ == b.size_ && std::equal(a.data(), a.data() + a.size_, b.data());
    }

private:
    std::vector<std::uint8_t> storage_;
    std::size_t size_ = 0;
    std::size_t zeros_ = 0; // storage_[0, zeros_) is zero
};

} // namespace detail

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
        bytes_.assignZeros(static_cast<std::size_t>(channels) * static_cast<std::size_t>(width)
                           * static_cast<std::size_t>(height));
    }

    // Empties the plane but keeps the storage for the next reset() or
    // reshape().
    void clear()
    {
        bytes_.clear();
        channels_ = width_ = height_ = 0;
    }

    // Resizes the plane without clearing it: what the storage held stays
    // there. Only for a buffer its writer then overwrites entirely.
    void reshape(int channels, int width, int height)
    {
        channels_ = channels;
        width_ = width;
        height_ = height;
        bytes_.resize(static_cast<std::size_t>(channels) * static_cast<std::size_t>(width)
                      * static_cast<std::size_t>(height));
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
    std::uint8_t& operator()(int c, int x, int y) { return bytes_.data()[index(c, x, y)]; }
    std::uint8_t operator()(int c, int x, int y) const { return bytes_.data()[index(c, x, y)]; }

    friend bool operator==(const ColourPlane&, const ColourPlane&) = default;

private:
    detail::ByteBuffer bytes_;
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
        bytes_.assignZeros(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    }
    void clear()
    {
        bytes_.clear();
        width_ = height_ = 0;
    }
    void reshape(int width, int height)
    {
        width_ = width;
        height_ = height;
        bytes_.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    }

    int width() const { return width_; }
    int height() const { return height_; }
    std::size_t size() const { return bytes_.size(); }

    std::uint8_t* data() { return bytes_.data(); }
    const std::uint8_t* data() const { return bytes_.data(); }

    std::size_t index(int x, int y) const
    {
        return static_cast<std::size_t>(x) + static_cast<std::size_t>(width_) * static_cast<std::size_t>(y);
    }
    std::uint8_t& operator()(int x, int y) { return bytes_.data()[index(x, y)]; }
    std::uint8_t operator()(int x, int y) const { return bytes_.data()[index(x, y)]; }

    friend bool operator==(const GreyPlane&, const GreyPlane&) = default;

private:
    detail::ByteBuffer bytes_;
    int width_ = 0;
    int height_ = 0;
};

} // namespace qf
