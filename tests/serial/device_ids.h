#pragma once

#include <string>
#include <utility>

#include "serial/device_id.h"

namespace vellmor::serial {

// An identifier the service delivered as text.
inline DeviceId Id(std::u16string text) { return DeviceId::Text(std::move(text)); }

}  // namespace vellmor::serial
