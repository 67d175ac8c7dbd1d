#include "controls/ScaledArt.h"

#include <algorithm>
#include <iterator>

namespace bexlo {

namespace {

// How far the art drawn for a scale may reach past the window at 100 %: it does so by a few
// pixels at its own scale, and is then shown as it is.
constexpr int kSlack = 16;

int AtPercent(int value, int percent) {
    return ScaleBetween(value, percent, 100);
}

}  // namespace

HBITMAP ScaledArt::Picture(int dpi, SIZE client) {
    const int percent = NearestArtScale(dpi);
    if (percent != percent_) {
        const auto at = std::find(kArtScales.begin(), kArtScales.end(), percent);
        const int id = ids_[static_cast<std::size_t>(std::distance(kArtScales.begin(), at))];
        source_.Reset(static_cast<HBITMAP>(::LoadImageW(
            ::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, 0)));
        BITMAP info{};
        ::GetObjectW(source_.Get(), sizeof(info), &info);
        sourceSize_ = {info.bmWidth, info.bmHeight};
        percent_ = percent;
        shown_ = nullptr;
    }
    if (!source_) {
        return nullptr;
    }
    if (shown_ != nullptr && client.cx == client_.cx && client.cy == client_.cy) {
        return shown_;
    }
    client_ = client;
    const int slack = AtPercent(kSlack, percent);
    const SIZE size{ArtLength(sourceSize_.cx, client.cx, slack),
                    ArtLength(sourceSize_.cy, client.cy, slack)};
    if (size.cx == sourceSize_.cx && size.cy == sourceSize_.cy) {
        shown_ = source_.Get();
        shownSize_ = size;
        return shown_;
    }
    HDC screen = ::GetDC(nullptr);
    fitted_.Reset(::CreateCompatibleBitmap(screen, size.cx, size.cy));
    UniqueMemoryDc sourceDc(::CreateCompatibleDC(screen));
    UniqueMemoryDc fittedDc(::CreateCompatibleDC(screen));
    ::ReleaseDC(nullptr, screen);
    if (!fitted_ || !sourceDc || !fittedDc) {
        return nullptr;
    }
    {
        ScopedSelect selectSource(sourceDc.Get(), source_.Get());
        ScopedSelect selectFitted(fittedDc.Get(), fitted_.Get());
        ::SetStretchBltMode(fittedDc.Get(), HALFTONE);
        ::SetBrushOrgEx(fittedDc.Get(), 0, 0, nullptr);
        for (const ArtBand& band : ArtBands(sourceSize_.cy, AtPercent(head_, percent),
                                            AtPercent(foot_, percent), size.cy)) {
            if (band.height > 0 && band.sourceHeight > 0) {
                ::StretchBlt(fittedDc.Get(), 0, band.top, size.cx, band.height, sourceDc.Get(), 0,
                             band.sourceTop, sourceSize_.cx, band.sourceHeight, SRCCOPY);
            }
        }
    }
    shown_ = fitted_.Get();
    shownSize_ = size;
    return shown_;
}

}  // namespace bexlo
