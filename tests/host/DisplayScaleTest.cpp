#include "framework/DisplayScale.h"

#include <gtest/gtest.h>

namespace bexlo {
namespace {

TEST(DisplayScale, EachScaleTakesTheNearestArtAndTheEndsTakeTheEndOnes) {
    const std::pair<int, int> dpiToArt[] = {{72, 100},  {96, 100},  {110, 125},
                                            {120, 125}, {144, 150}, {168, 175},
                                            {180, 200}, {192, 200}, {288, 200}};
    for (const auto& [dpi, art] : dpiToArt) {
        EXPECT_EQ(NearestArtScale(dpi), art) << dpi;
    }
}

// A move to a monitor of another scale lays the controls out again: controls that met still
// meet, none that stood apart overlap, and the way back gives the layout it began with.
TEST(DisplayScale, ControlsKeepTheirNeighboursAcrossAChangeOfScale) {
    const Box left{11, 7, 57, 29};
    const Box right{57, 7, 100, 29};
    for (int dpi : {96, 120, 144, 168, 192}) {
        SCOPED_TRACE(dpi);
        const Box scaledLeft = ScaleBox(left, dpi, 144);
        const Box scaledRight = ScaleBox(right, dpi, 144);
        EXPECT_EQ(scaledLeft.right, scaledRight.left);
        EXPECT_EQ(ScaleBox(ScaleBox(left, dpi, 96), 96, dpi), left);
    }
    EXPECT_EQ(ScaleBox(left, 192, 96), (Box{22, 14, 114, 58}));
    EXPECT_EQ(ScaleBetween(-12, 144, 96), -18) << "font heights are negative";
}

// The art drawn for a scale is shown as it is where it covers the window by a little, as at
// 100 %; otherwise it takes the window's size.
TEST(DisplayScale, ArtIsShownAsDrawnOnlyWhereItCoversTheWindow) {
    EXPECT_EQ(ArtLength(570, 566, 8), 570);
    EXPECT_EQ(ArtLength(570, 570, 8), 570);
    EXPECT_EQ(ArtLength(570, 580, 8), 580) << "too small: it would leave a strip bare";
    EXPECT_EQ(ArtLength(675, 611, 12), 611) << "too large: the foot band would be cut off";
}

TEST(DisplayScale, HeadAndFootKeepTheirRowsWhileTheBodyStretches) {
    const auto bands = ArtBands(675, 63, 83, 611);
    EXPECT_EQ(bands[0], (ArtBand{0, 63, 0, 63}));
    EXPECT_EQ(bands[1], (ArtBand{63, 529, 63, 465}));
    EXPECT_EQ(bands[2], (ArtBand{592, 83, 528, 83}));
    EXPECT_EQ(bands[2].top + bands[2].height, 611) << "the foot ends with the window";

    // A window too low for head and foot takes the whole art scaled.
    const auto squeezed = ArtBands(675, 63, 83, 120);
    EXPECT_EQ(squeezed[0], (ArtBand{0, 675, 0, 120}));
    EXPECT_EQ(squeezed[1].height + squeezed[2].height, 0);
}

}  // namespace
}  // namespace bexlo
