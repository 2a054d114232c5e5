#include "device_store.h"

#include <algorithm>
#include <map>

#include "base/utf.h"
#include "serial/selection_rule.h"
#include "serial/usb_identifier.h"
#include "serial_notes.h"

namespace vellmor::drives {

namespace {

// FILETIME ticks from 1601 to 1970.
constexpr std::uint64_t kEpochTicks = 116444736000000000ULL;

bool IsUsbDevice(std::u16string_view id) {
  return serial::ParseUsbIdentifier(id).has_value() && id.find(u"&MI_") == std::u16string::npos;
}

bool IsUsbInterface(std::u16string_view id) {
  return serial::ParseUsbIdentifier(id).has_value() && id.find(u"&MI_") != std::u16string::npos;
}

// "4C530001231120115142" of "USBSTOR\DISK&VEN_…\4C530001231120115142&0": the instance
// without the logical unit Windows appends.
std::u16string_view StorageSerial(std::u16string_view id) {
  std::u16string_view instance = serial::LastPiece(id);
  const std::size_t amp = instance.rfind(u'&');
  if (amp == std::u16string_view::npos || amp + 1 == instance.size() ||
      !std::ranges::all_of(instance.substr(amp + 1),
                           [](char16_t c) { return c >= u'0' && c <= u'9'; })) {
    return {};
  }
  return instance.substr(0, amp);
}

void Extend(std::optional<std::uint64_t>& into, std::optional<std::uint64_t> value, bool earliest) {
  if (value && (!into || (earliest ? *value < *into : *value > *into))) {
    into = value;
  }
}

}  // namespace

std::optional<std::uint64_t> FileTimeToUnixUsec(std::uint64_t ticks) {
  if (ticks < kEpochTicks) {
    return std::nullopt;
  }
  return (ticks - kEpochTicks) / 10;
}

void AddStoreDevices(StickHistory& history, const std::vector<StoreDevice>& devices,
                     std::optional<std::uint64_t> since_usec) {
  std::map<std::u16string, const StoreDevice*> by_id;
  for (const StoreDevice& device : devices) {
    by_id.emplace(AsciiUpperCase(device.instance_id), &device);
  }
  const auto find = [&](const std::optional<std::u16string>& id) -> const StoreDevice* {
    const auto found = id ? by_id.find(AsciiUpperCase(*id)) : by_id.end();
    return found == by_id.end() ? nullptr : found->second;
  };
  // The USB device a mass-storage function belongs to.
  const auto owner = [&](const StoreDevice& function) -> const StoreDevice* {
    const StoreDevice* parent = find(function.parent_id);
    if (parent != nullptr && IsUsbInterface(parent->instance_id)) {
      parent = find(parent->parent_id);
    }
    if (parent != nullptr) {
      return IsUsbDevice(parent->instance_id) ? parent : nullptr;
    }
    // A device not plugged in has no parent in the tree; its disk carries the serial the
    // USB device has as its instance, unless Windows made both up.
    const std::u16string serial = AsciiUpperCase(StorageSerial(function.instance_id));
    if (serial.empty() || serial::IsGeneratedInstance(serial)) {
      return nullptr;
    }
    const StoreDevice* match = nullptr;
    for (const StoreDevice& device : devices) {
      if (IsUsbDevice(device.instance_id) &&
          AsciiUpperCase(serial::LastPiece(device.instance_id)) == serial) {
        if (match != nullptr) {
          return nullptr;  // two devices carry it: neither can be told to be the stick
        }
        match = &device;
      }
    }
    return match;
  };

  // Each stick with the disks found below it, in the store's order.
  std::vector<std::pair<const StoreDevice*, std::vector<const StoreDevice*>>> sticks;
  const auto add = [&](const StoreDevice* stick, const StoreDevice* disk) {
    if (stick == nullptr) {
      return;
    }
    auto found =
        std::ranges::find_if(sticks, [&](const auto& known) { return known.first == stick; });
    if (found == sticks.end()) {
      sticks.emplace_back(stick, std::vector<const StoreDevice*>());
      found = sticks.end() - 1;
    }
    if (disk != nullptr) {
      found->second.push_back(disk);
    }
  };
  for (const StoreDevice& device : devices) {
    const bool storage_driver = device.service && AsciiUpperCase(*device.service) == u"USBSTOR";
    if (device.instance_id.starts_with(u"USBSTOR\\")) {
      add(owner(device), &device);
    } else if (storage_driver && IsUsbDevice(device.instance_id)) {
      add(&device, nullptr);
    } else if (storage_driver && IsUsbInterface(device.instance_id)) {
      const StoreDevice* parent = find(device.parent_id);
      add(parent != nullptr && IsUsbDevice(parent->instance_id) ? parent : nullptr, nullptr);
    }
  }

  const auto kept = [&](std::optional<std::uint64_t> time) {
    return time && (!since_usec || *time >= *since_usec) ? time : std::nullopt;
  };
  for (const auto& [stick, disks] : sticks) {
    const auto parts = serial::ParseUsbIdentifier(stick->instance_id);
    std::optional<std::uint64_t> first = stick->first_install_usec;
    std::optional<std::uint64_t> arrival = stick->last_arrival_usec;
    std::optional<std::uint64_t> removal = stick->last_removal_usec;
    for (const StoreDevice* disk : disks) {
      Extend(first, disk->first_install_usec, true);
      Extend(arrival, disk->last_arrival_usec, false);
      Extend(removal, disk->last_removal_usec, false);
    }
    std::vector<std::uint64_t> arrivals;
    for (const auto time : {kept(first), kept(arrival)}) {
      if (time) {
        arrivals.push_back(*time);
      }
    }
    const std::uint64_t last = kept(removal).value_or(0);
    if (since_usec && arrivals.empty() && last == 0) {
      continue;
    }
    std::vector<UsbDevice> one(1);
    UsbDevice& device = one.front();
    device.device_id = stick->instance_id;
    device.serial = std::u16string(serial::LastPiece(stick->instance_id));
    device.serial_made_up = serial::IsGeneratedInstance(parts->instance);
    device.vendor = parts->vendor;
    device.product = parts->product;
    device.product_name = stick->product_name;
    device.port = stick->location;
    device.mass_storage = true;
    // As the read tells one: more than one disk, or the name says so.
    device.card_reader =
        disks.size() > 1 || (device.product_name && NamesCardReader(*device.product_name));
    AddSerialNotes(one);
    history.AddStoreStick(device, arrivals, last);
  }
}

}  // namespace vellmor::drives
