#pragma once

#include "framework/Control.h"

namespace bexlo {

// The Save and Clear buttons. For now they draw as the platform's own push buttons; the gradient
// and hover drawing hook in here.
class CCButton : public Control {};

}  // namespace bexlo
