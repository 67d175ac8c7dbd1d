#pragma once

// Sizes at a display scale, and how the art drawn for a few scales is fitted to a window. No
// window is needed here.

#include <array>

namespace bexlo {

inline constexpr int kDefaultDpi = 96;

// The scales the art is drawn for, in percent.
inline constexpr std::array<int, 5> kArtScales{100, 125, 150, 175, 200};

// `value` given at `fromDpi`, at `toDpi`; rounded to the nearest whole number.
int ScaleBetween(int value, int toDpi, int fromDpi);
inline int ScaleToDpi(int value, int dpi) {
    return ScaleBetween(value, dpi, kDefaultDpi);
}

// The art scale nearest to `dpi`; below 100 % and above 200 % the end ones.
int NearestArtScale(int dpi);

struct Box {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool operator==(const Box&) const = default;
};

// A control's rectangle laid out at `toDpi` instead of `fromDpi`: its edges move, so controls
// that met still meet and none that stood apart overlap.
Box ScaleBox(const Box& box, int toDpi, int fromDpi);

// The length the art takes along one side of a window: its own when it covers the window with at
// most `slack` pixels over, as the art drawn for a scale does at that scale; else the window's.
int ArtLength(int art, int window, int slack);

// One band of rows of the art and where it goes.
struct ArtBand {
    int sourceTop = 0;
    int sourceHeight = 0;
    int top = 0;
    int height = 0;
    bool operator==(const ArtBand&) const = default;
};

// The art's rows placed over `height` rows: its head (`head` rows) and its foot (`foot` rows)
// keep their rows, so their lines stay sharp, and the body between them is stretched or
// shrunk. Art too tall for its head and foot is scaled as a whole.
std::array<ArtBand, 3> ArtBands(int artHeight, int head, int foot, int height);

}  // namespace bexlo
