#include "drives.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <windows.h>

#include <cfgmgr32.h>

// Defines the property keys here rather than expecting a library to.
#include <initguid.h>

#include <devpkey.h>
#include <objbase.h>
#include <oleauto.h>
#include <wbemcli.h>
#include <wrl/client.h>

#include "base/utf.h"
#include "serial/com_scope_win.h"
#include "sysfs_drives.h"
#include "wmi_drives.h"

namespace vellmor::drives {

namespace {

using Microsoft::WRL::ComPtr;

const wchar_t* AsWide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

std::u16string FromWide(const wchar_t* text, std::size_t length) {
  return {reinterpret_cast<const char16_t*>(text), length};
}

using Clock = std::chrono::steady_clock;

// How long one fetch of the hub or disk list may take.
constexpr std::chrono::milliseconds kFetchTimeout{5000};

std::string Utf8(const wchar_t* text, std::size_t length) {
  return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text), length));
}

// "access denied (0x80041003)": the service's own codes by name, the rest as the
// system words them.
std::string HresultText(HRESULT result) {
  const auto code = static_cast<std::uint32_t>(result);
  std::array<char, 16> hex{};
  std::snprintf(hex.data(), hex.size(), "0x%08X", static_cast<unsigned>(code));
  std::string words;
  if (const auto known = WbemErrorWords(code)) {
    words = *known;
  } else {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (length > 0 && text != nullptr) {
      words = Utf8(text, length);
      while (!words.empty() && (words.back() == '\n' || words.back() == '\r' ||
                                words.back() == ' ' || words.back() == '.')) {
        words.pop_back();
      }
    }
    LocalFree(text);
  }
  return words.empty() ? std::string("error ") + hex.data() : words + " (" + hex.data() + ")";
}

WmiAnswer Failed(HRESULT result) {
  return {WmiAnswer::Status::kFailed, {}, HresultText(result), static_cast<std::uint32_t>(result)};
}

WmiAnswer TimedOut() { return {WmiAnswer::Status::kTimedOut, {}, "no answer in time", 0}; }

// The fetch's wait: the fetch timeout, or less to keep the deadline.
LONG FetchWait(const WmiDeadline& deadline) {
  auto wait = kFetchTimeout;
  if (deadline) {
    wait = std::min(wait, std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now()));
  }
  return static_cast<LONG>(std::max<std::chrono::milliseconds::rep>(wait.count(), 0));
}

// No services, and the reason in `error`, when the service cannot be reached.
std::optional<ComPtr<IWbemServices>> ConnectCimV2(std::string& error) {
  ComPtr<IWbemLocator> locator;
  HRESULT result =
      CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                       reinterpret_cast<void**>(locator.GetAddressOf()));
  ComPtr<IWbemServices> services;
  if (SUCCEEDED(result)) {
    BSTR path = SysAllocString(L"\\\\.\\root\\cimv2");
    result = path == nullptr ? E_OUTOFMEMORY
                             : locator->ConnectServer(path, nullptr, nullptr, nullptr, 0, nullptr,
                                                      nullptr, services.GetAddressOf());
    SysFreeString(path);
  }
  if (FAILED(result) || !services) {
    error = "cannot connect to the management service (root\\cimv2): " +
            HresultText(FAILED(result) ? result : E_UNEXPECTED);
    return std::nullopt;
  }
  // An in-process service has no proxy to configure, so a refusal here is no failure.
  CoSetProxyBlanket(services.Get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                    RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
  return services;
}

WmiRow ReadRow(IWbemClassObject& object) {
  WmiRow row;
  object.BeginEnumeration(WBEM_FLAG_NONSYSTEM_ONLY);
  for (;;) {
    BSTR name = nullptr;
    VARIANT value;
    VariantInit(&value);
    if (object.Next(0, &name, &value, nullptr, nullptr) != WBEM_S_NO_ERROR) {
      break;
    }
    if (value.vt != VT_NULL && value.vt != VT_EMPTY &&
        SUCCEEDED(VariantChangeType(&value, &value, 0, VT_BSTR)) && value.bstrVal != nullptr) {
      row[FromWide(name, SysStringLen(name))] =
          FromWide(value.bstrVal, SysStringLen(value.bstrVal));
    }
    SysFreeString(name);
    VariantClear(&value);
  }
  object.EndEnumeration();
  return row;
}

// Every property of each object, as text: the service hands 64-bit numbers as text
// already, and the rest converts.
WmiAnswer RunQuery(IWbemServices& services, std::u16string_view wql, const WmiDeadline& deadline) {
  if (deadline && Clock::now() >= *deadline) {
    return TimedOut();
  }
  BSTR language = SysAllocString(L"WQL");
  BSTR text = SysAllocStringLen(AsWide(wql.data()), static_cast<UINT>(wql.size()));
  ComPtr<IEnumWbemClassObject> results;
  HRESULT result = language == nullptr || text == nullptr
                       ? E_OUTOFMEMORY
                       : services.ExecQuery(language, text,
                                            WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY,
                                            nullptr, results.GetAddressOf());
  SysFreeString(language);
  SysFreeString(text);
  if (FAILED(result) || !results) {
    return Failed(FAILED(result) ? result : E_UNEXPECTED);
  }
  WmiAnswer answer;
  for (;;) {
    ComPtr<IWbemClassObject> object;
    ULONG returned = 0;
    result = results->Next(FetchWait(deadline), 1, object.GetAddressOf(), &returned);
    if (returned == 1 && object) {
      answer.rows.push_back(ReadRow(*object.Get()));
    }
    if (FAILED(result)) {
      return Failed(result);
    }
    // A stalled service answers a bounded wait with WBEM_S_TIMEDOUT: the list is not whole.
    if (result == WBEM_S_TIMEDOUT) {
      return TimedOut();
    }
    if (returned != 1) {
      return answer;  // WBEM_S_FALSE: the end
    }
  }
}

std::optional<std::u16string> InstanceId(DEVINST node) {
  ULONG length = 0;
  if (CM_Get_Device_ID_Size(&length, node, 0) != CR_SUCCESS) {
    return std::nullopt;
  }
  std::vector<wchar_t> id(length + 1);
  if (CM_Get_Device_IDW(node, id.data(), static_cast<ULONG>(id.size()), 0) != CR_SUCCESS) {
    return std::nullopt;
  }
  return FromWide(id.data(), length);
}

std::optional<DEVINST> Locate(std::u16string_view instance) {
  std::wstring id(instance.begin(), instance.end());
  DEVINST node = 0;
  if (CM_Locate_DevNodeW(&node, id.data(), CM_LOCATE_DEVNODE_NORMAL) != CR_SUCCESS) {
    return std::nullopt;
  }
  return node;
}

// Up the tree from a disk to the first USB device that is not one interface of a
// composite device.
std::optional<std::u16string> UsbParent(std::u16string_view instance) {
  auto node = Locate(instance);
  while (node) {
    DEVINST parent = 0;
    if (CM_Get_Parent(&parent, *node, 0) != CR_SUCCESS) {
      return std::nullopt;
    }
    const auto id = InstanceId(parent);
    if (id && id->starts_with(u"USB\\VID_") && id->find(u"&MI_") == std::u16string::npos) {
      return id;
    }
    node = parent;
  }
  return std::nullopt;
}

// The product string the device itself reported (Windows 8 and later keep it).
std::optional<std::u16string> ProductName(std::u16string_view usb_device) {
  const auto node = Locate(usb_device);
  if (!node) {
    return std::nullopt;
  }
  DEVPROPTYPE type = 0;
  std::vector<BYTE> buffer(512);
  auto size = static_cast<ULONG>(buffer.size());
  if (CM_Get_DevNode_PropertyW(*node, &DEVPKEY_Device_BusReportedDeviceDesc, &type, buffer.data(),
                               &size, 0) != CR_SUCCESS ||
      type != DEVPROP_TYPE_STRING || size < sizeof(wchar_t)) {
    return std::nullopt;
  }
  const auto* text = reinterpret_cast<const wchar_t*>(buffer.data());
  return FromWide(text, wcsnlen(text, size / sizeof(wchar_t)));
}

std::optional<std::u16string> LocationInformation(std::u16string_view usb_device) {
  const auto node = Locate(usb_device);
  if (!node) {
    return std::nullopt;
  }
  std::vector<wchar_t> text(256);
  auto size = static_cast<ULONG>(text.size() * sizeof(wchar_t));
  ULONG type = 0;
  if (CM_Get_DevNode_Registry_PropertyW(*node, CM_DRP_LOCATION_INFORMATION, &type, text.data(),
                                        &size, 0) != CR_SUCCESS ||
      type != REG_SZ) {
    return std::nullopt;
  }
  return FromWide(text.data(), wcsnlen(text.data(), text.size()));
}

class WmiDriveSource : public DriveSource {
 public:
  std::optional<std::vector<UsbDevice>> ScanUsbDevices(ScanDepth depth) override {
    m_error.clear();
    const serial::ComScope com;
    if (!com.usable()) {
      m_error = "cannot use COM on this thread: " + HresultText(com.result());
      return std::nullopt;
    }
    auto services = ConnectCimV2(m_error);
    if (!services) {
      return std::nullopt;
    }
    const WmiQuery query = [&](std::u16string_view wql, WmiDeadline deadline) {
      return RunQuery(*services->Get(), wql, deadline);
    };
    auto devices = AssembleWmiDrives(query, {UsbParent, ProductName, LocationInformation}, depth,
                                     Clock::now() + kVolumeQueryBudget, m_error);
    services->Reset();
    return devices;
  }

  std::string LastError() const override { return m_error; }

 private:
  std::string m_error;
};

}  // namespace

std::unique_ptr<DriveSource> MakeSystemDriveSource() { return std::make_unique<WmiDriveSource>(); }

// Windows has no sysfs to take disks from.
std::unique_ptr<DriveSource> MakeSysfsDriveSource(const SysfsDrivePaths& /*paths*/) {
  return nullptr;
}

}  // namespace vellmor::drives
