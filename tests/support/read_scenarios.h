#pragma once

// Machines with a keyboard, a mouse, hubs, a webcam and sticks, as sysfs trees, with
// the serial the read must give on each.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "sysfs_tree.h"
#include "usb_descriptor_bytes.h"

namespace vellmor::fixtures {

struct ReadScenario {
  const char* name;
  std::function<void(SysfsTree&)> plant;
  // No value: no storage device, so the warning.
  std::optional<std::string> serial;
};

inline std::vector<ReadScenario> ReadScenarios() {
  const auto root_hub = [](SysfsTree& tree) { tree.AddRootHub(1, 0x0200); };
  const auto keyboard = [](SysfsTree& tree) {
    tree.AddRawDevice("1-1", kKeyboardBytes, "KBD123456789");
  };
  const auto stick = [](SysfsTree& tree) {
    tree.AddRawDevice("1-2", kStickBytes, "4C530001230417117513");
  };
  return {
      {"keyboard only",
       [=](SysfsTree& tree) {
         root_hub(tree);
         keyboard(tree);
       },
       std::nullopt},
      {"mouse without a serial only",
       [=](SysfsTree& tree) {
         root_hub(tree);
         tree.AddRawDevice("1-3", kMouseBytes, std::nullopt);
       },
       std::nullopt},
      {"keyboard and stick",
       [=](SysfsTree& tree) {
         root_hub(tree);
         keyboard(tree);
         stick(tree);
       },
       "4C530001230417117513"},
      {"composite webcam after the stick",
       [=](SysfsTree& tree) {
         root_hub(tree);
         stick(tree);
         tree.AddRawDevice("1-4", kWebcamBytes, "0A1B2C3D");
       },
       "4C530001230417117513"},
      {"external hub after the stick",
       [=](SysfsTree& tree) {
         root_hub(tree);
         stick(tree);
         tree.AddRawDevice("1-4", kHubBytes, std::nullopt);
       },
       "4C530001230417117513"},
      {"composite stick alone",
       [=](SysfsTree& tree) {
         root_hub(tree);
         tree.AddRawDevice("1-5", kCompositeStickBytes, "0019E06B9C85F9A0F7550C20");
       },
       "0019E06B9C85F9A0F7550C20"},
  };
}

}  // namespace vellmor::fixtures
