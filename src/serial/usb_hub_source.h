#pragma once

#include <filesystem>
#include <memory>
#include <string_view>

#include "device_id.h"

namespace vellmor::serial {

inline constexpr std::u16string_view kServiceMoniker = u"winmgmts:\\\\.\\root\\cimv2";
inline constexpr std::u16string_view kUsbHubQuery = u"Select * From Win32_USBHub";
// Every USB device node, whatever its class: also the keyboards and mice that
// Win32_USBHub leaves out, whose serials licences made on Linux before 5.1.0.8 may name.
inline constexpr std::u16string_view kUsbDeviceQuery =
    u"Select DeviceID From Win32_PnPEntity Where DeviceID Like 'USB\\\\%'";
// The device nodes that run a USB mass-storage driver: a stick's own node, or the
// "MI_xx" interface node of a composite device that holds one.
inline constexpr std::u16string_view kUsbStorageQuery =
    u"Select DeviceID From Win32_PnPEntity Where Service = 'USBSTOR' Or Service = 'UASPStor'";

// The query's result collection. Every step can fail where the management
// service can; a failed step is reported, never thrown.
class UsbHubResults {
 public:
  enum class Fetch { kItem, kEnd, kFailed };

  virtual ~UsbHubResults() = default;
  // False when the enumeration cannot be started.
  virtual bool StartEnumeration() = 0;
  // Moves to the next result in delivery order.
  virtual Fetch Next() = 0;
  // DeviceID of the result that Next last delivered.
  virtual DeviceId ReadDeviceId() = 0;
};

// The bound management service.
class UsbHubService {
 public:
  virtual ~UsbHubService() = default;
  // No collection when the query fails.
  virtual std::unique_ptr<UsbHubResults> ExecQuery(std::u16string_view query) = 0;
};

// Where the USB hub instances come from: the management service on Windows,
// the kernel's USB device list on Linux, a script in tests.
class UsbHubSource {
 public:
  virtual ~UsbHubSource() = default;
  // No service when binding fails.
  virtual std::unique_ptr<UsbHubService> Bind(std::u16string_view moniker) = 0;
};

// The platform's own source: sysfs under /sys on Linux, WMI on Windows.
std::unique_ptr<UsbHubSource> MakeSystemUsbHubSource();

// The kernel's device list under <root>/bus/usb/devices; none where the system has no
// sysfs (Windows).
std::unique_ptr<UsbHubSource> MakeSysfsUsbHubSource(const std::filesystem::path& root);

}  // namespace vellmor::serial
