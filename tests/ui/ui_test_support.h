#pragma once

#include <memory>
#include <string>
#include <vector>

#include "serial/device_id.h"
#include "serial/usb_hub_source.h"
#include "ui/platform_shell.h"

namespace vellmor::ui::test {

// A USB hub source that answers each bind with the next scripted list of
// identifiers; the last list answers every later bind. No list: binding fails.
class ScriptedUsbHubSource : public serial::UsbHubSource {
 public:
  std::vector<std::vector<serial::DeviceId>> answers;
  int binds = 0;

  std::unique_ptr<serial::UsbHubService> Bind(std::u16string_view moniker) override;
};

struct ShellCall {
  WindowHandle owner = 0;
  std::string operation;
  std::string file;
  std::string parameters;
  std::string directory;
  int showCommand = -1;

  bool operator==(const ShellCall&) const = default;
};

class RecordingShell : public PlatformShell {
 public:
  std::vector<ShellCall> calls;
  std::vector<CursorHandle> cursors;

  void ShellExecute(WindowHandle owner, std::string_view operation, std::string_view file,
                    std::string_view parameters, std::string_view directory,
                    int showCommand) override;
  void SetCursor(CursorHandle cursor) override;
};

}  // namespace vellmor::ui::test
