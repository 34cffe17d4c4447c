// Plain pixel containers shared by every reader and writer, and the error
// value every imaging call reports.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qf::imaging {

// Why an operation failed, for messages and for the command line's exit codes.
enum class ErrorKind {
    None,
    Unreadable,      // the file cannot be opened or read
    NotAnimation,    // the file is none of the formats read: no GIF, animated WebP or video clip
    Corrupt,         // a file of a known format broken before its first full frame (any format, PNG too)
    NoImage,         // a well-formed file of a known format that holds no frame to show
    TooLarge,        // the picture, the animation or its work is beyond the limits of size_limits.h
    OutOfMemory,     // the system has too little memory free for the work
    Unwritable,      // the destination cannot be written (folder, permission, full disk)
    InvalidArgument, // the caller's mistake: a call out of order or a value out of range
    LibraryFailed,   // a library failed without saying why (the colour quantiser)
    Internal,        // a fault of this program, not of any file: an unexpected exception
    Cancelled,       // the caller asked to stop
};

struct Error {
    ErrorKind kind = ErrorKind::None;
    std::string file;   // the file concerned
    std::string reason; // a short sentence a user reads, e.g. "not a GIF file"

    explicit operator bool() const { return kind != ErrorKind::None; }
    // "<file>: <reason>", control characters in names shown escaped
    std::string message() const;
};

// Straight (not premultiplied) RGBA, top row first, 4 * width bytes per row.
// Alpha is 0 for transparent and 255 for opaque pixels.
struct RgbaImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;

    friend bool operator==(const RgbaImage&, const RgbaImage&) = default;
};

enum class PixelLayout {
    Rgba, // red, green, blue, alpha
    Rgb,  // red, green, blue
    Bgrx, // blue, green, red, pad: the 32-bit picture surface of the pipeline
};

// A borrowed view of pixels in one of the layouts above, top row first.
struct ImageView {
    const std::uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0; // bytes from one row to the next
    PixelLayout layout = PixelLayout::Rgba;

    static ImageView of(const RgbaImage& image)
    {
        return {image.pixels.data(), image.width, image.height, static_cast<std::ptrdiff_t>(image.width) * 4,
                PixelLayout::Rgba};
    }
};

} // namespace qf::imaging
