#include "device_arrivals.h"

namespace vellmor::serial {

std::unique_ptr<DeviceArrivals> OpenDeviceArrivals(DriveSource& /*drives*/, std::string& error) {
  error = "waiting for devices is not available on Windows yet";
  return nullptr;
}

}  // namespace vellmor::serial
