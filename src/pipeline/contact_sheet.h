// The contact sheet of snapshots: one picture showing all 17 variants of a
// frame side by side, each labelled with its number and name, and the source
// frame in the last cell, for choosing a variant at a glance.
#pragma once

#include "picture.h"

#include <string_view>

namespace qf {

// Scales picture to width x height: whole-number enlargements repeat pixels,
// reductions average the source pixels each target pixel covers.
Picture ScalePicture(const Picture& picture, int width, int height);

class ContactSheet {
public:
    static constexpr int kColumns = 6;
    static constexpr int kRows = 3;
    static constexpr int kCells = kColumns * kRows;

    // A sheet for pictures of frameWidth x frameHeight; title goes on top.
    ContactSheet(int frameWidth, int frameHeight, std::string_view title);

    // Puts picture, scaled to the cell, into cell 0..kCells-1 (row by row)
    // with label under it.
    void place(int cell, const Picture& picture, std::string_view label);

    const Picture& picture() const { return sheet_; }

private:
    int thumbWidth_ = 0;
    int thumbHeight_ = 0;
    int cellWidth_ = 0;
    int cellHeight_ = 0;
    int top_ = 0;
    Picture sheet_;
};

} // namespace qf
