#pragma once

#include <string_view>

#include "base/version.h"

namespace vellmor {

// The application's title: MainW's caption starts with it, and the message
// boxes that give no title of their own show it.
inline constexpr std::u16string_view kApplicationTitle = u"" VELLMOR_PRODUCT_NAME;

}  // namespace vellmor
