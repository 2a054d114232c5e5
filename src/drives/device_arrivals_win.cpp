#include "device_arrivals.h"

#include <algorithm>
#include <atomic>
#include <utility>
#include <vector>

#include <windows.h>

#include <dbt.h>

#include <initguid.h>

#include <ntddstor.h>

#include "arrival_policy.h"

namespace vellmor::drives {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Disk and volume arrivals of one plug-in come within moments of each other.
constexpr milliseconds kQuiet{500};
// A mass-storage device whose disk has not come yet.
constexpr milliseconds kDiskWait{10000};
// Windows gives a volume its drive letter shortly after the volume arrives.
constexpr milliseconds kLetterWait{3000};
constexpr wchar_t kWindowClass[] = L"VellmorDeviceArrivals";

// The control handler runs on a thread of its own, also after the listening has ended, so
// its events live as long as the process and are never closed under it. g_interrupt is
// manual-reset: a request that comes before Wait (during the first scan) is still seen.
HANDLE g_interrupt = nullptr;
HANDLE g_finished = nullptr;  // set once the output is complete
std::atomic<int> g_received{0};

constexpr int kInterruptSignal = 2;   // SIGINT's number, for the exit status
constexpr int kTerminateSignal = 15;  // SIGTERM's
// Windows ends the process 5 s after a close event; the line gets most of that.
constexpr DWORD kCloseGrace = 4500;

BOOL WINAPI OnControl(DWORD type) {
  const bool close = type == CTRL_CLOSE_EVENT;
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && !close) {
    return FALSE;
  }
  int expected = 0;
  if (!g_received.compare_exchange_strong(expected, close ? kTerminateSignal : kInterruptSignal)) {
    // A second request while a scan may hang in the management service: the default
    // handler ends the process at once.
    return close ? TRUE : FALSE;
  }
  SetEvent(g_interrupt);
  if (close) {
    // Returning lets Windows end the process: first give the line time to be finished.
    WaitForSingleObject(g_finished, kCloseGrace);
  }
  return TRUE;
}

bool MakeControlEvents() {
  static const bool made = [] {
    g_interrupt = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    g_finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return g_interrupt != nullptr && g_finished != nullptr;
  }();
  return made;
}

// Disk and volume arrivals and removals come as WM_DEVICECHANGE to our message-only window.
LRESULT CALLBACK OnMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_DEVICECHANGE &&
      (wparam == DBT_DEVICEARRIVAL || wparam == DBT_DEVICEREMOVECOMPLETE)) {
    auto* const changed = reinterpret_cast<bool*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (changed != nullptr) {
      *changed = true;
    }
    return TRUE;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

class WinDeviceArrivals : public DeviceArrivals {
 public:
  WinDeviceArrivals(DriveSource& drives, ScanDepth depth, std::string& error)
      : m_drives(drives),
        // The notifications say only that something changed: every one is a rescan, and
        // the next volume arrival may be the letter awaited.
        m_policy({kQuiet, kDiskWait, kLetterWait}, depth == ScanDepth::kVolumes, true) {
    if (!MakeControlEvents() || !SetConsoleCtrlHandler(OnControl, TRUE)) {
      error = "cannot set up waiting for devices";
      return;
    }
    m_handler_set = true;
    // RegisterDeviceNotification rather than CM_Register_Notification: it exists on
    // every Windows we run on, and wine has only a stub of the other.
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = OnMessage;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = kWindowClass;
    RegisterClassW(&window_class);
    m_window = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               window_class.hInstance, nullptr);
    if (m_window == nullptr) {
      error = "cannot create the window for device notifications";
      return;
    }
    SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&m_changed));
    for (const GUID& interface_class : {GUID_DEVINTERFACE_DISK, GUID_DEVINTERFACE_VOLUME}) {
      DEV_BROADCAST_DEVICEINTERFACE_W filter{};
      filter.dbcc_size = sizeof(filter);
      filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
      filter.dbcc_classguid = interface_class;
      HDEVNOTIFY notification =
          RegisterDeviceNotificationW(m_window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
      if (notification == nullptr) {
        error = "cannot register for device arrival notifications";
        return;
      }
      m_notifications.push_back(notification);
    }
    m_present = m_drives.ScanUsbDevices(ScanDepth::kUnits).value_or(std::vector<UsbDevice>());
    m_policy.Start(m_present);
    m_ready = true;
  }

  ~WinDeviceArrivals() override {
    for (const HDEVNOTIFY notification : m_notifications) {
      UnregisterDeviceNotification(notification);
    }
    if (m_window != nullptr) {
      DestroyWindow(m_window);
    }
    if (m_handler_set) {
      SetConsoleCtrlHandler(OnControl, FALSE);
    }
  }

  WinDeviceArrivals(const WinDeviceArrivals&) = delete;
  WinDeviceArrivals& operator=(const WinDeviceArrivals&) = delete;

  bool ready() const { return m_ready; }
  const std::vector<UsbDevice>& present() const override { return m_present; }
  std::string event_source() const override { return "Windows device notification"; }

  Result Wait(std::optional<milliseconds> timeout) override {
    const auto deadline = timeout ? std::optional(Clock::now() + *timeout) : std::nullopt;
    for (;;) {
      Result result;
      Clock::time_point now = Clock::now();
      if (m_policy.WantsScan(now)) {
        m_policy.Scanned(m_drives.ScanUsbDevices(ScanDepth::kUnits), nullptr, now);
      }
      for (ArrivalPolicy::VolumeRequest& request : m_policy.TakeVolumeRequests()) {
        if (const auto device = m_drives.StartVolumeRead(request.device)->Finish()) {
          m_policy.VolumesRead(*device, request.ticket, Clock::now());
        }
      }
      result.devices = m_policy.TakeArrivals();
      for (UsbDevice& gone : m_policy.TakeRemovals()) {
        m_removed_since.push_back(std::move(gone));
      }
      if (!result.devices.empty()) {
        result.outcome = Outcome::kArrived;
        return result;
      }
      if (m_report_removals && !m_removed_since.empty()) {
        result.removed = std::exchange(m_removed_since, {});
        result.outcome = Outcome::kRemoved;
        return result;
      }
      if (deadline && *deadline <= now) {
        return result;
      }
      std::optional<Clock::time_point> wake = deadline;
      if (const auto next = m_policy.NextWake()) {
        wake = wake ? std::min(*wake, *next) : *next;
      }
      const DWORD wait =
          wake ? static_cast<DWORD>(std::clamp<long long>(
                     std::chrono::ceil<milliseconds>(*wake - now).count(), 0, 86400000))
               : INFINITE;
      const DWORD signalled = MsgWaitForMultipleObjects(1, &g_interrupt, FALSE, wait, QS_ALLINPUT);
      if (signalled == WAIT_OBJECT_0) {
        result.outcome = Outcome::kInterrupted;
        result.signal = g_received.load();
        return result;
      }
      if (signalled == WAIT_FAILED) {
        result.outcome = Outcome::kFailed;
        result.error = "cannot wait for device notifications";
        return result;
      }
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&message);
      }
      if (m_changed) {
        m_changed = false;
        now = Clock::now();
        m_policy.Rescan(now);
        m_policy.MountsChanged(now);
      }
    }
  }

 private:
  DriveSource& m_drives;
  ArrivalPolicy m_policy;
  HWND m_window = nullptr;
  bool m_changed = false;
  bool m_handler_set = false;
  bool m_ready = false;
  std::vector<HDEVNOTIFY> m_notifications;
  std::vector<UsbDevice> m_present;
  std::vector<UsbDevice> m_removed_since;
};

}  // namespace

int ReceivedInterrupt() { return g_received.load(); }

void EndAsInterrupted(int /*signal*/) {
  if (g_finished != nullptr) {
    SetEvent(g_finished);
  }
  // What a console program killed by Ctrl-C exits with: cmd then asks whether to end a
  // batch file, as for any program.
  ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
}

std::unique_ptr<DeviceArrivals> OpenDeviceArrivals(DriveSource& drives, ScanDepth depth,
                                                   std::string& error) {
  auto arrivals = std::make_unique<WinDeviceArrivals>(drives, depth, error);
  if (!arrivals->ready()) {
    return nullptr;
  }
  return arrivals;
}

}  // namespace vellmor::drives
