#include "usb_hub_source_win.h"

#include <cwctype>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include <windows.h>

#include <objbase.h>
#include <oleauto.h>
#include <wrl/client.h>

#include "com_scope_win.h"

namespace vellmor::serial {
namespace {

using Microsoft::WRL::ComPtr;

static_assert(sizeof(wchar_t) == sizeof(char16_t), "BSTR units are UTF-16 code units");

constexpr std::u16string_view kMonikerScheme = u"winmgmts:";
constexpr std::u16string_view kQueryLanguage = u"WQL";
constexpr wchar_t kDeviceIdProperty[] = L"DeviceID";

const wchar_t* AsWide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

class Bstr {
 public:
  explicit Bstr(std::u16string_view text)
      : m_value(SysAllocStringLen(AsWide(text.data()), static_cast<UINT>(text.size()))) {}
  ~Bstr() { SysFreeString(m_value); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;

  BSTR get() const { return m_value; }

 private:
  BSTR m_value;
};

class Variant {
 public:
  Variant() { VariantInit(&m_value); }
  ~Variant() { VariantClear(&m_value); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;

  VARIANT* get() { return &m_value; }
  const VARIANT& value() const { return m_value; }

 private:
  VARIANT m_value;
};

class WmiUsbHubResults : public UsbHubResults {
 public:
  WmiUsbHubResults(std::shared_ptr<ComScope> apartment, ComPtr<IEnumWbemClassObject> results)
      : m_apartment(std::move(apartment)), m_results(std::move(results)) {}

  bool StartEnumeration() override { return m_results && SUCCEEDED(m_results->Reset()); }

  Fetch Next() override {
    m_current.Reset();
    if (m_afterLast) {
      return *m_afterLast;
    }
    IWbemClassObject* object = nullptr;
    ULONG returned = 0;
    // A stalled service answers a bounded wait with WBEM_S_TIMEDOUT and nothing
    // returned: a failed fetch, so the click ends instead of hanging the window.
    const HRESULT result = m_results->Next(kFetchTimeoutMilliseconds, 1, &object, &returned);
    if (returned == 1 && object != nullptr) {
      m_current.Attach(object);
      // Some providers hand over the last object together with the end (or an
      // error); it still counts, and the scan stops after it.
      if (result == WBEM_S_FALSE) {
        m_afterLast = Fetch::kEnd;
      } else if (FAILED(result)) {
        m_afterLast = Fetch::kFailed;
      }
      return Fetch::kItem;
    }
    return result == WBEM_S_FALSE ? Fetch::kEnd : Fetch::kFailed;
  }

  DeviceId ReadDeviceId() override {
    if (!m_current) {
      return DeviceId::Unreadable();
    }
    Variant value;
    if (FAILED(m_current->Get(kDeviceIdProperty, 0, value.get(), nullptr, nullptr))) {
      return DeviceId::Unreadable();
    }
    switch (value.value().vt) {
      case VT_BSTR: {
        const BSTR text = value.value().bstrVal;
        if (text == nullptr) {
          return DeviceId::Text({});
        }
        return DeviceId::Text(
            std::u16string(reinterpret_cast<const char16_t*>(text), SysStringLen(text)));
      }
      case VT_NULL:
      case VT_EMPTY:
        return DeviceId::Missing();
      default:
        return DeviceId::Unreadable();
    }
  }

 private:
  // Declared first so that it is destroyed after every COM object below.
  std::shared_ptr<ComScope> m_apartment;
  ComPtr<IEnumWbemClassObject> m_results;
  ComPtr<IWbemClassObject> m_current;
  std::optional<Fetch> m_afterLast;
};

class WmiUsbHubService : public UsbHubService {
 public:
  WmiUsbHubService(std::shared_ptr<ComScope> apartment, ComPtr<IWbemServices> services)
      : m_apartment(std::move(apartment)), m_services(std::move(services)) {}

  std::unique_ptr<UsbHubResults> ExecQuery(std::u16string_view query) override {
    const Bstr language(kQueryLanguage);
    const Bstr text(query);
    if (language.get() == nullptr || text.get() == nullptr) {
      return nullptr;
    }
    // Return-immediately is what the scripting ExecQuery does when no flags are
    // given; unlike forward-only it leaves the collection able to be reset.
    ComPtr<IEnumWbemClassObject> results;
    const HRESULT result = m_services->ExecQuery(
        language.get(), text.get(), WBEM_FLAG_RETURN_IMMEDIATELY, nullptr, results.GetAddressOf());
    if (FAILED(result) || !results) {
      return nullptr;
    }
    return std::make_unique<WmiUsbHubResults>(m_apartment, std::move(results));
  }

 private:
  std::shared_ptr<ComScope> m_apartment;
  ComPtr<IWbemServices> m_services;
};

// "winmgmts:\\.\root\cimv2" names the namespace path "\\.\root\cimv2", which the
// locator accepts as it is; the dot is the local computer.
std::optional<std::u16string_view> NamespacePathOf(std::u16string_view moniker) {
  if (moniker.size() < kMonikerScheme.size()) {
    return std::nullopt;
  }
  for (std::size_t i = 0; i < kMonikerScheme.size(); ++i) {
    if (std::towlower(static_cast<std::wint_t>(moniker[i])) !=
        static_cast<std::wint_t>(kMonikerScheme[i])) {
      return std::nullopt;
    }
  }
  return moniker.substr(kMonikerScheme.size());
}

class WmiUsbHubSource : public UsbHubSource {
 public:
  std::unique_ptr<UsbHubService> Bind(std::u16string_view moniker) override {
    const std::optional<std::u16string_view> path = NamespacePathOf(moniker);
    if (!path) {
      return nullptr;
    }
    auto apartment = std::make_shared<ComScope>();
    if (!apartment->usable()) {
      return nullptr;
    }
    ComPtr<IWbemLocator> locator;
    if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                reinterpret_cast<void**>(locator.GetAddressOf())))) {
      return nullptr;
    }
    const Bstr namespacePath(*path);
    if (namespacePath.get() == nullptr) {
      return nullptr;
    }
    ComPtr<IWbemServices> services;
    if (FAILED(locator->ConnectServer(namespacePath.get(), nullptr, nullptr, nullptr, 0, nullptr,
                                      nullptr, services.GetAddressOf())) ||
        !services) {
      return nullptr;
    }
    // Impersonation is what the moniker asks for by default. An in-process
    // service has no proxy to configure, so a refusal here is no failure.
    CoSetProxyBlanket(services.Get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                      RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    return std::make_unique<WmiUsbHubService>(std::move(apartment), std::move(services));
  }
};

}  // namespace

std::unique_ptr<UsbHubResults> MakeWmiUsbHubResults(IEnumWbemClassObject* results) {
  return std::make_unique<WmiUsbHubResults>(nullptr, ComPtr<IEnumWbemClassObject>(results));
}

std::unique_ptr<UsbHubSource> MakeSystemUsbHubSource() {
  return std::make_unique<WmiUsbHubSource>();
}

// Windows has no sysfs to take devices from.
std::unique_ptr<UsbHubSource> MakeSysfsUsbHubSource(const std::filesystem::path& /*root*/) {
  return nullptr;
}

}  // namespace vellmor::serial
