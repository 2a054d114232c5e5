#include <windows.h>

#include "watch_service.h"

namespace vellmor::cli {

namespace {

SERVICE_STATUS_HANDLE g_status = nullptr;
const std::function<int()>* g_watch = nullptr;
int g_exit_status = 0;

void Report(DWORD state, int exit_status) {
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted =
      state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
  status.dwWin32ExitCode = exit_status == 0 ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
  status.dwServiceSpecificExitCode = static_cast<DWORD>(exit_status);
  SetServiceStatus(g_status, &status);
}

DWORD WINAPI OnControl(DWORD control, DWORD /*type*/, void* /*data*/, void* /*context*/) {
  if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN) {
    // The watch sleeps in the system's device events with nothing to wake it, and each
    // entry is written whole as it comes: ending the process loses nothing.
    Report(SERVICE_STOPPED, 0);
    ExitProcess(0);
  }
  return control == SERVICE_CONTROL_INTERROGATE ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
}

void WINAPI ServiceMain(DWORD /*argc*/, wchar_t** /*argv*/) {
  g_status = RegisterServiceCtrlHandlerExW(kWatchServiceName, OnControl, nullptr);
  if (g_status == nullptr) {
    g_exit_status = 3;
    return;
  }
  Report(SERVICE_RUNNING, 0);
  g_exit_status = (*g_watch)();
  Report(SERVICE_STOPPED, g_exit_status);
}

}  // namespace

std::optional<int> RunAsService(const std::function<int()>& watch) {
  g_watch = &watch;
  SERVICE_TABLE_ENTRYW table[] = {{const_cast<wchar_t*>(kWatchServiceName), ServiceMain},
                                  {nullptr, nullptr}};
  // Fails at once, with ERROR_FAILED_SERVICE_CONTROLLER_CONNECT, outside a service.
  if (!StartServiceCtrlDispatcherW(table)) {
    return std::nullopt;
  }
  return g_exit_status;
}

}  // namespace vellmor::cli
