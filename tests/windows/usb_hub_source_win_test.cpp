#include "serial/usb_hub_source_win.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <objbase.h>

#include "check.h"
#include "serial/cc.h"

namespace {

using vellmor::serial::DeviceId;
using vellmor::serial::kServiceMoniker;
using vellmor::serial::MakeSystemUsbHubSource;
using vellmor::serial::UsbHubResults;
using vellmor::windows_test::CheckCounter;

// Every logical disk has a DeviceID ("C:"), and every system has at least one.
constexpr std::u16string_view kDiskQuery = u"Select * From Win32_LogicalDisk";

struct Scan {
  std::vector<DeviceId> ids;
  UsbHubResults::Fetch last = UsbHubResults::Fetch::kFailed;
};

Scan ScanAll(UsbHubResults& results) {
  Scan scan;
  while ((scan.last = results.Next()) == UsbHubResults::Fetch::kItem) {
    scan.ids.push_back(results.ReadDeviceId());
  }
  return scan;
}

// Refused at once or at the first fetch, as the service decides; either way
// nothing is delivered.
bool Refused(const std::unique_ptr<UsbHubResults>& results) {
  if (results == nullptr || !results->StartEnumeration()) {
    return true;
  }
  const Scan scan = ScanAll(*results);
  return scan.ids.empty() && scan.last == UsbHubResults::Fetch::kFailed;
}

void ChecksBinding(CheckCounter& check) {
  auto source = MakeSystemUsbHubSource();
  check.Check(source->Bind(kServiceMoniker) != nullptr, "the service moniker binds");
  check.Check(source->Bind(u"WinMgmts:\\\\.\\root\\cimv2") != nullptr,
              "the moniker's scheme is not case-sensitive");
  check.Check(source->Bind(u"winmgmts:\\\\.\\root\\no_such_namespace") == nullptr,
              "an unknown namespace does not bind");
  check.Check(source->Bind(u"wmi:\\\\.\\root\\cimv2") == nullptr, "another scheme does not bind");
  check.Check(source->Bind(u"") == nullptr, "an empty moniker does not bind");
}

void ChecksEnumeration(CheckCounter& check) {
  auto source = MakeSystemUsbHubSource();
  auto service = source->Bind(kServiceMoniker);
  if (service == nullptr) {
    check.Check(false, "binding for the enumeration");
    return;
  }
  auto results = service->ExecQuery(kDiskQuery);
  // The collection keeps what it needs alive on its own.
  service.reset();
  if (results == nullptr) {
    check.Check(false, "the disk query gives a collection");
    return;
  }
  check.Check(results->StartEnumeration(), "the enumeration starts");
  const Scan scan = ScanAll(*results);
  check.Check(scan.last == UsbHubResults::Fetch::kEnd, "the scan ends with the end, not a failure");
  check.Check(std::find(scan.ids.begin(), scan.ids.end(), DeviceId::Text(u"C:")) != scan.ids.end(),
              "drive C: is delivered with its DeviceID as text");
  check.Check(results->Next() == UsbHubResults::Fetch::kEnd,
              "fetching past the end stays at the end");
  check.Check(results->ReadDeviceId() == DeviceId::Unreadable(),
              "no current result after the end: unreadable");

  check.Check(results->StartEnumeration(), "the enumeration starts again");
  const Scan again = ScanAll(*results);
  check.Check(again.ids == scan.ids, "a second enumeration delivers the same identifiers");
}

void ChecksFailures(CheckCounter& check) {
  auto source = MakeSystemUsbHubSource();
  auto service = source->Bind(kServiceMoniker);
  if (service == nullptr) {
    check.Check(false, "binding for the failures");
    return;
  }

  // Windows refuses an unknown class, wine answers it with no results.
  auto unknown = service->ExecQuery(u"Select * From No_Such_Class_Vellmor");
  check.Check(unknown == nullptr || !unknown->StartEnumeration() || ScanAll(*unknown).ids.empty(),
              "a query on an unknown class delivers nothing");
  check.Check(Refused(service->ExecQuery(u"this is no query")), "a malformed query is refused");

  // Win32_OperatingSystem has no DeviceID property.
  auto system = service->ExecQuery(u"Select * From Win32_OperatingSystem");
  if (system == nullptr || !system->StartEnumeration() ||
      system->Next() != UsbHubResults::Fetch::kItem) {
    check.Check(false, "the operating system query delivers a result");
    return;
  }
  check.Check(system->ReadDeviceId() == DeviceId::Unreadable(),
              "a result without the property reads as unreadable");
}

void ChecksUsbHubQuery(CheckCounter& check) {
  // Whatever the system has plugged in, the fixed query runs through to a value
  // or to nothing without failing.
  auto source = MakeSystemUsbHubSource();
  const auto ids = vellmor::serial::CollectDeviceIds(*source);
  const auto serial = vellmor::serial::CC(*source);
  const bool anyVid = std::any_of(ids.begin(), ids.end(), [](const DeviceId& id) {
    return id.kind == DeviceId::Kind::kText && id.text.find(u"VID") != std::u16string::npos;
  });
  check.Check(serial.has_value() == anyVid, "CC finds a serial exactly when an identifier has VID");
}

// COM is initialised around each query and left as it was found.
void ChecksApartmentHandling(CheckCounter& check) {
  std::thread fresh([&check] {
    {
      auto source = MakeSystemUsbHubSource();
      auto service = source->Bind(kServiceMoniker);
      check.Check(service != nullptr, "binds on a thread without COM");
    }
    const HRESULT after = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    check.Check(after == S_OK, "COM is uninitialised again once the objects are gone");
    if (SUCCEEDED(after)) {
      CoUninitialize();
    }
  });
  fresh.join();

  std::thread multithreaded([&check] {
    const HRESULT before = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    {
      auto source = MakeSystemUsbHubSource();
      auto service = source->Bind(kServiceMoniker);
      check.Check(service != nullptr, "binds on a thread in the multithreaded apartment");
      auto results = service == nullptr ? nullptr : service->ExecQuery(kDiskQuery);
      check.Check(
          results != nullptr && results->StartEnumeration() && !ScanAll(*results).ids.empty(),
          "queries on a thread in the multithreaded apartment");
    }
    const HRESULT after = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    check.Check(after == S_FALSE, "the thread's own COM initialisation is left in place");
    if (SUCCEEDED(after)) {
      CoUninitialize();
    }
    if (SUCCEEDED(before)) {
      CoUninitialize();
    }
  });
  multithreaded.join();
}

// An enumerator whose service never answers: each fetch waits as long as it
// is told to, then reports the timeout, as WMI does.
class StalledEnumerator final : public IEnumWbemClassObject {
 public:
  StalledEnumerator() : m_never(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~StalledEnumerator() { CloseHandle(m_never); }
  StalledEnumerator(const StalledEnumerator&) = delete;
  StalledEnumerator& operator=(const StalledEnumerator&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
    if (id == IID_IUnknown || id == IID_IEnumWbemClassObject) {
      *object = this;
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++m_references); }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--m_references); }

  HRESULT STDMETHODCALLTYPE Reset() override { return WBEM_S_NO_ERROR; }
  HRESULT STDMETHODCALLTYPE Next(long timeout, ULONG, IWbemClassObject** objects,
                                 ULONG* returned) override {
    ++fetches;
    *objects = nullptr;
    *returned = 0;
    WaitForSingleObject(m_never, static_cast<DWORD>(timeout));
    return WBEM_S_TIMEDOUT;
  }
  HRESULT STDMETHODCALLTYPE NextAsync(ULONG, IWbemObjectSink*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Clone(IEnumWbemClassObject**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Skip(long, ULONG) override { return E_NOTIMPL; }

  int references() const { return m_references; }
  int fetches = 0;

 private:
  HANDLE m_never;
  int m_references = 1;
};

class StalledService final : public vellmor::serial::UsbHubService {
 public:
  explicit StalledService(StalledEnumerator& results) : m_results(results) {}
  std::unique_ptr<UsbHubResults> ExecQuery(std::u16string_view) override {
    return vellmor::serial::MakeWmiUsbHubResults(&m_results);
  }

 private:
  StalledEnumerator& m_results;
};

class StalledSource final : public vellmor::serial::UsbHubSource {
 public:
  std::unique_ptr<vellmor::serial::UsbHubService> Bind(std::u16string_view) override {
    return std::make_unique<StalledService>(results);
  }
  StalledEnumerator results;
};

void ChecksStalledService(CheckCounter& check) {
  // An unbounded wait would hang here for good; the watchdog turns that into a failure.
  std::thread([] {
    std::this_thread::sleep_for(std::chrono::seconds(60));
    std::printf("FAILED: a fetch from a stalled service still waits after 60 s\n");
    std::fflush(stdout);
    std::_Exit(1);
  }).detach();

  StalledSource source;
  const auto start = std::chrono::steady_clock::now();
  const auto serial = vellmor::serial::CC(source);
  const auto waited = std::chrono::steady_clock::now() - start;
  check.Check(!serial.has_value(), "a stalled service gives the empty serial value");
  check.Check(source.results.fetches == 1, "the timed-out fetch ends the scan");
  check.Check(
      waited >= std::chrono::milliseconds(vellmor::serial::kFetchTimeoutMilliseconds - 250) &&
          waited < std::chrono::seconds(30),
      "the fetch waits the bounded time");
  check.Check(source.results.references() == 1, "the stalled enumerator is released");
}

}  // namespace

int main() {
  CheckCounter check;
  ChecksBinding(check);
  ChecksEnumeration(check);
  ChecksFailures(check);
  ChecksUsbHubQuery(check);
  ChecksApartmentHandling(check);
  ChecksStalledService(check);
  return check.Finish("usb_hub_source_win_test");
}
