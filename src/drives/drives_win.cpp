#include "drives.h"

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

#include "serial/cc.h"
#include "serial/usb_hub_source.h"
#include "sysfs_drives.h"
#include "wmi_drives.h"

namespace vellmor::drives {

namespace {

using Microsoft::WRL::ComPtr;

const wchar_t* AsWide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

std::u16string FromWide(const wchar_t* text, std::size_t length) {
  return {reinterpret_cast<const char16_t*>(text), length};
}

// Holds COM for this thread while the scan's objects live.
class ComScope {
 public:
  ComScope() : m_result(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(m_result)) {
      CoUninitialize();
    }
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
  bool usable() const { return SUCCEEDED(m_result) || m_result == RPC_E_CHANGED_MODE; }

 private:
  HRESULT m_result;
};

ComPtr<IWbemServices> ConnectCimV2() {
  ComPtr<IWbemLocator> locator;
  if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                              reinterpret_cast<void**>(locator.GetAddressOf())))) {
    return nullptr;
  }
  BSTR path = SysAllocString(L"\\\\.\\root\\cimv2");
  ComPtr<IWbemServices> services;
  const HRESULT result = path == nullptr
                             ? E_OUTOFMEMORY
                             : locator->ConnectServer(path, nullptr, nullptr, nullptr, 0, nullptr,
                                                      nullptr, services.GetAddressOf());
  SysFreeString(path);
  if (FAILED(result)) {
    return nullptr;
  }
  CoSetProxyBlanket(services.Get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                    RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
  return services;
}

// Every property of each object, as text: the service hands 64-bit numbers as text
// already, and the rest converts.
std::optional<std::vector<WmiRow>> RunQuery(IWbemServices& services, std::u16string_view wql) {
  BSTR language = SysAllocString(L"WQL");
  BSTR text = SysAllocStringLen(AsWide(wql.data()), static_cast<UINT>(wql.size()));
  ComPtr<IEnumWbemClassObject> results;
  const HRESULT result =
      language == nullptr || text == nullptr
          ? E_OUTOFMEMORY
          : services.ExecQuery(language, text,
                               WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY, nullptr,
                               results.GetAddressOf());
  SysFreeString(language);
  SysFreeString(text);
  if (FAILED(result) || !results) {
    return std::nullopt;
  }
  std::vector<WmiRow> rows;
  for (;;) {
    ComPtr<IWbemClassObject> object;
    ULONG returned = 0;
    // A stalled service ends the list instead of hanging the program.
    const HRESULT fetched = results->Next(5000, 1, object.GetAddressOf(), &returned);
    if (returned != 1 || !object) {
      break;
    }
    WmiRow row;
    object->BeginEnumeration(WBEM_FLAG_NONSYSTEM_ONLY);
    for (;;) {
      BSTR name = nullptr;
      VARIANT value;
      VariantInit(&value);
      if (object->Next(0, &name, &value, nullptr, nullptr) != WBEM_S_NO_ERROR) {
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
    object->EndEnumeration();
    rows.push_back(std::move(row));
    if (fetched != WBEM_S_NO_ERROR) {
      break;
    }
  }
  return rows;
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
  std::optional<std::vector<UsbDevice>> ScanUsbDevices(ScanDepth /*depth*/) override {
    const std::unique_ptr<serial::UsbHubSource> hubs = serial::MakeSystemUsbHubSource();
    const std::vector<serial::DeviceId> ids = serial::CollectDeviceIds(*hubs);
    ComScope com;
    ComPtr<IWbemServices> services = com.usable() ? ConnectCimV2() : nullptr;
    const WmiQuery query = [&](std::u16string_view wql) -> std::optional<std::vector<WmiRow>> {
      if (!services) {
        return std::nullopt;
      }
      return RunQuery(*services.Get(), wql);
    };
    std::vector<UsbDevice> devices =
        AssembleWmiDrives(ids, query, {UsbParent, ProductName, LocationInformation});
    services.Reset();
    return devices;
  }
};

}  // namespace

std::unique_ptr<DriveSource> MakeSystemDriveSource() { return std::make_unique<WmiDriveSource>(); }

// Windows has no sysfs to take disks from.
std::unique_ptr<DriveSource> MakeSysfsDriveSource(const SysfsDrivePaths& /*paths*/) {
  return nullptr;
}

}  // namespace vellmor::drives
