#pragma once

#include "drives/drives.h"

namespace vellmor::fixtures {

// The stick the log's tests and benchmarks write about: a SanDisk Cruzer Blade with a
// serial of its own, no volumes; each test adds what it is about.
inline drives::UsbDevice SanDiskStick() {
  drives::UsbDevice stick;
  stick.device_id = u"USB\\VID_0781&PID_5567\\4C530001231120115142";
  stick.serial = u"4C530001231120115142";
  stick.vendor = 0x0781;
  stick.product = 0x5567;
  stick.manufacturer = u"SanDisk";
  stick.product_name = u"Cruzer Blade";
  stick.mass_storage = true;
  return stick;
}

}  // namespace vellmor::fixtures
