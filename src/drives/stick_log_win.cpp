// Windows keeps every device it installed in its device store, plugged in now or not, and
// the tool's own events in the Application log.
#include <windows.h>
// After windows.h.
#include <cfgmgr32.h>
#include <devpkey.h>
#include <setupapi.h>
#include <winevt.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "device_store.h"
#include "event_log_entry.h"
#include "stick_history.h"

namespace vellmor::drives {

namespace {

std::u16string FromWide(const wchar_t* text, std::size_t length) { return {text, text + length}; }

std::string ErrorText(DWORD code) { return "error " + std::to_string(code); }

struct DeviceSetCloser {
  void operator()(void* set) const { SetupDiDestroyDeviceInfoList(set); }
};

std::optional<std::u16string> StringProperty(HDEVINFO set, SP_DEVINFO_DATA& info,
                                             const DEVPROPKEY& key) {
  DEVPROPTYPE type = 0;
  std::vector<BYTE> buffer(1024);
  DWORD size = 0;
  if (!SetupDiGetDevicePropertyW(set, &info, &key, &type, buffer.data(),
                                 static_cast<DWORD>(buffer.size()), &size, 0) ||
      type != DEVPROP_TYPE_STRING || size < sizeof(wchar_t)) {
    return std::nullopt;
  }
  const auto* text = reinterpret_cast<const wchar_t*>(buffer.data());
  const std::size_t length = wcsnlen(text, size / sizeof(wchar_t));
  return length == 0 ? std::nullopt : std::optional(FromWide(text, length));
}

std::optional<std::uint64_t> DateProperty(HDEVINFO set, SP_DEVINFO_DATA& info,
                                          const DEVPROPKEY& key) {
  DEVPROPTYPE type = 0;
  FILETIME time{};
  if (!SetupDiGetDevicePropertyW(set, &info, &key, &type, reinterpret_cast<BYTE*>(&time),
                                 sizeof(time), nullptr, 0) ||
      type != DEVPROP_TYPE_FILETIME) {
    return std::nullopt;
  }
  return FileTimeToUnixUsec((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                            time.dwLowDateTime);
}

std::optional<std::u16string> RegistryText(HDEVINFO set, SP_DEVINFO_DATA& info, DWORD property) {
  std::vector<wchar_t> text(512);
  DWORD type = 0;
  if (!SetupDiGetDeviceRegistryPropertyW(
          set, &info, property, &type, reinterpret_cast<BYTE*>(text.data()),
          static_cast<DWORD>(text.size() * sizeof(wchar_t)), nullptr) ||
      type != REG_SZ) {
    return std::nullopt;
  }
  const std::size_t length = wcsnlen(text.data(), text.size());
  return length == 0 ? std::nullopt : std::optional(FromWide(text.data(), length));
}

std::optional<std::u16string> Parent(DEVINST node) {
  DEVINST parent = 0;
  ULONG length = 0;
  if (CM_Get_Parent(&parent, node, 0) != CR_SUCCESS ||
      CM_Get_Device_ID_Size(&length, parent, 0) != CR_SUCCESS || length == 0) {
    return std::nullopt;
  }
  std::vector<wchar_t> id(length + 1);
  if (CM_Get_Device_IDW(parent, id.data(), static_cast<ULONG>(id.size()), 0) != CR_SUCCESS) {
    return std::nullopt;
  }
  return FromWide(id.data(), wcsnlen(id.data(), id.size()));
}

// Every device instance of one enumerator the store keeps, present or not.
bool ReadEnumerator(const wchar_t* enumerator, std::vector<StoreDevice>& devices,
                    std::string& error) {
  const HDEVINFO opened = SetupDiGetClassDevsW(nullptr, enumerator, nullptr, DIGCF_ALLCLASSES);
  if (opened == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    // No device of it was ever installed.
    if (code == ERROR_INVALID_DATA || code == ERROR_NO_SUCH_DEVINST) {
      return true;
    }
    error = "cannot read the device store (" + ErrorText(code) + ")";
    return false;
  }
  const std::unique_ptr<void, DeviceSetCloser> set(opened);
  for (DWORD index = 0;; ++index) {
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof(info);
    if (!SetupDiEnumDeviceInfo(opened, index, &info)) {
      const DWORD code = GetLastError();
      if (code == ERROR_NO_MORE_ITEMS) {
        return true;
      }
      error = "cannot read the device store (" + ErrorText(code) + ")";
      return false;
    }
    std::vector<wchar_t> id(MAX_DEVICE_ID_LEN + 1);
    if (!SetupDiGetDeviceInstanceIdW(opened, &info, id.data(), static_cast<DWORD>(id.size()),
                                     nullptr)) {
      continue;
    }
    StoreDevice device;
    device.instance_id = FromWide(id.data(), wcsnlen(id.data(), id.size()));
    device.parent_id = StringProperty(opened, info, DEVPKEY_Device_Parent);
    if (!device.parent_id) {
      device.parent_id = Parent(info.DevInst);
    }
    device.service = RegistryText(opened, info, SPDRP_SERVICE);
    device.product_name = StringProperty(opened, info, DEVPKEY_Device_BusReportedDeviceDesc);
    device.location = RegistryText(opened, info, SPDRP_LOCATION_INFORMATION);
    device.first_install_usec = DateProperty(opened, info, DEVPKEY_Device_FirstInstallDate);
    device.last_arrival_usec = DateProperty(opened, info, DEVPKEY_Device_LastArrivalDate);
    device.last_removal_usec = DateProperty(opened, info, DEVPKEY_Device_LastRemovalDate);
    devices.push_back(std::move(device));
  }
}

// wevtapi.dll is loaded when history runs, from System32 alone, so no other program
// pays for it and none planted beside the program is taken.
class EventLogApi {
 public:
  EventLogApi() : m_module(LoadLibraryExW(L"wevtapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    if (m_module != nullptr) {
      query = Find<Query>("EvtQuery");
      next = Find<Next>("EvtNext");
      render = Find<Render>("EvtRender");
      close = Find<Close>("EvtClose");
    }
  }
  ~EventLogApi() {
    if (m_module != nullptr) {
      FreeLibrary(m_module);
    }
  }
  EventLogApi(const EventLogApi&) = delete;
  EventLogApi& operator=(const EventLogApi&) = delete;

  bool usable() const {
    return query != nullptr && next != nullptr && render != nullptr && close != nullptr;
  }

  using Query = EVT_HANDLE(WINAPI*)(EVT_HANDLE, LPCWSTR, LPCWSTR, DWORD);
  using Next = BOOL(WINAPI*)(EVT_HANDLE, DWORD, EVT_HANDLE*, DWORD, DWORD, DWORD*);
  using Render = BOOL(WINAPI*)(EVT_HANDLE, EVT_HANDLE, DWORD, DWORD, void*, DWORD*, DWORD*);
  using Close = BOOL(WINAPI*)(EVT_HANDLE);

  Query query = nullptr;
  Next next = nullptr;
  Render render = nullptr;
  Close close = nullptr;

 private:
  template <typename Function>
  Function Find(const char* name) const {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(m_module, name)));
  }

  HMODULE m_module;
};

// The tool's events from the Application log, oldest first.
bool ReadEvents(StickHistory& history, std::optional<std::uint64_t> since_usec,
                std::string& error) {
  const EventLogApi api;
  if (!api.usable()) {
    error = "wevtapi.dll cannot be loaded (" + ErrorText(GetLastError()) + ")";
    return false;
  }
  EVT_HANDLE results = api.query(nullptr, L"Application", L"*[System[Provider[@Name='Vellmor']]]",
                                 EvtQueryChannelPath | EvtQueryForwardDirection);
  if (results == nullptr) {
    error = ErrorText(GetLastError());
    return false;
  }
  std::vector<wchar_t> xml(4096);
  bool read = true;
  for (;;) {
    std::array<EVT_HANDLE, 64> events{};
    DWORD returned = 0;
    if (!api.next(results, static_cast<DWORD>(events.size()), events.data(), INFINITE, 0,
                  &returned)) {
      const DWORD code = GetLastError();
      if (code != ERROR_NO_MORE_ITEMS) {
        error = ErrorText(code);
        read = false;
      }
      break;
    }
    for (DWORD i = 0; i < returned; ++i) {
      DWORD used = 0;
      DWORD properties = 0;
      bool rendered = api.render(nullptr, events[i], EvtRenderEventXml,
                                 static_cast<DWORD>(xml.size() * sizeof(wchar_t)), xml.data(),
                                 &used, &properties);
      if (!rendered && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        xml.resize(used / sizeof(wchar_t) + 1);
        rendered = api.render(nullptr, events[i], EvtRenderEventXml,
                              static_cast<DWORD>(xml.size() * sizeof(wchar_t)), xml.data(), &used,
                              &properties);
      }
      api.close(events[i]);
      if (!rendered) {
        continue;
      }
      const auto entry = EventXmlToLogEntry(FromWide(xml.data(), wcsnlen(xml.data(), xml.size())));
      if (entry && (!since_usec || entry->time_usec >= *since_usec)) {
        history.Add(*entry);
      }
    }
  }
  api.close(results);
  return read;
}

}  // namespace

bool ReadStickLog(StickHistory& history, const std::optional<std::string>& /*directory*/,
                  std::optional<std::uint64_t> since_usec, std::string& error, std::string& note) {
  // The events first, in time order; the store's dates then merge into what they showed.
  std::string events_error;
  if (!ReadEvents(history, since_usec, events_error)) {
    note = "the tool's events in the Application log were not read (" + events_error +
           "); the sticks are those of the device store";
  }
  std::vector<StoreDevice> devices;
  if (!ReadEnumerator(L"USB", devices, error) || !ReadEnumerator(L"USBSTOR", devices, error)) {
    return false;
  }
  AddStoreDevices(history, devices, since_usec);
  return true;
}

}  // namespace vellmor::drives
