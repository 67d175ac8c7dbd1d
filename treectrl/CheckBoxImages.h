#pragma once

#include <windows.h>

#include "treectrl/CTreeFileCtrl.h"

namespace bexlo {

// The state images of a check-box tree at `dpi`, in the platform's order: none, unchecked,
// checked; each a small icon's size, the box three quarters of it.
UniqueImageList MakeCheckBoxImages(int dpi);

}  // namespace bexlo
