#pragma once

#include <string>
#include <string_view>

#include "volume_probe.h"

namespace vellmor::drives {

// What udev's own probe found on the block device `name` when it appeared: readable
// without opening the volume, so without root. Empty without udev.
VolumeFacts UdevVolume(const std::string& name);

// udev writes a label's unsafe bytes as \xNN.
std::string UnescapedUdevText(std::string_view text);

}  // namespace vellmor::drives
