#include "udev_database.h"

#include <libudev.h>

#include <charconv>
#include <memory>

namespace vellmor::drives {

std::string UnescapedUdevText(std::string_view text) {
  std::string plain;
  for (std::size_t i = 0; i < text.size(); ++i) {
    unsigned value = 0;
    if (text.substr(i, 2) == "\\x" && i + 4 <= text.size() &&
        std::from_chars(text.data() + i + 2, text.data() + i + 4, value, 16).ptr ==
            text.data() + i + 4) {
      plain.push_back(static_cast<char>(value));
      i += 3;
    } else {
      plain.push_back(text[i]);
    }
  }
  return plain;
}

VolumeFacts UdevVolume(const std::string& name) {
  VolumeFacts facts;
  const std::unique_ptr<udev, decltype(&udev_unref)> context(udev_new(), udev_unref);
  if (!context) {
    return facts;
  }
  const std::unique_ptr<udev_device, decltype(&udev_device_unref)> device(
      udev_device_new_from_subsystem_sysname(context.get(), "block", name.c_str()),
      udev_device_unref);
  if (!device) {
    return facts;
  }
  if (const char* label = udev_device_get_property_value(device.get(), "ID_FS_LABEL_ENC")) {
    facts.label = UnescapedUdevText(label);
  }
  if (const char* type = udev_device_get_property_value(device.get(), "ID_FS_TYPE")) {
    facts.file_system = type;
  }
  if (const char* uuid = udev_device_get_property_value(device.get(), "ID_FS_UUID")) {
    facts.uuid = uuid;
  }
  return facts;
}

}  // namespace vellmor::drives
