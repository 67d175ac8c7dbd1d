#include "framework/DisplayScale.h"

#include <cstdlib>
#include <cstdint>

namespace bexlo {

int ScaleBetween(int value, int toDpi, int fromDpi) {
    if (fromDpi <= 0) {
        return value;
    }
    const std::int64_t product = static_cast<std::int64_t>(value) * toDpi;
    const std::int64_t half = fromDpi / 2;
    return static_cast<int>(product >= 0 ? (product + half) / fromDpi
                                         : -((-product + half) / fromDpi));
}

int NearestArtScale(int dpi) {
    const int percent = ScaleBetween(100, dpi, kDefaultDpi);
    int nearest = kArtScales.front();
    for (int scale : kArtScales) {
        if (std::abs(scale - percent) < std::abs(nearest - percent)) {
            nearest = scale;
        }
    }
    return nearest;
}

Box ScaleBox(const Box& box, int toDpi, int fromDpi) {
    return {ScaleBetween(box.left, toDpi, fromDpi), ScaleBetween(box.top, toDpi, fromDpi),
            ScaleBetween(box.right, toDpi, fromDpi), ScaleBetween(box.bottom, toDpi, fromDpi)};
}

int ArtLength(int art, int window, int slack) {
    return art >= window && art - window <= slack ? art : window;
}

std::array<ArtBand, 3> ArtBands(int artHeight, int head, int foot, int height) {
    const int body = artHeight - head - foot;
    const int stretched = height - head - foot;
    if (body <= 0 || stretched <= 0) {
        return {ArtBand{0, artHeight, 0, height}, ArtBand{}, ArtBand{}};
    }
    return {ArtBand{0, head, 0, head}, ArtBand{head, body, head, stretched},
            ArtBand{head + body, foot, head + stretched, foot}};
}

}  // namespace bexlo
