#pragma once

#include <memory>
#include <string>
#include <vector>

#include <QLineEdit>
#include <QPushButton>

#include "design/platform_shell.h"
#include "qt/main_window.h"
#include "serial/device_id.h"
#include "serial/usb_hub_source.h"

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
  design::WindowHandle owner = 0;
  std::string operation;
  std::string file;
  std::string parameters;
  std::string directory;
  int showCommand = -1;

  bool operator==(const ShellCall&) const = default;
};

class RecordingShell : public design::PlatformShell {
 public:
  std::vector<ShellCall> calls;
  std::vector<design::CursorHandle> cursors;

  void CallShellExecute(design::WindowHandle owner, std::string_view operation,
                        std::string_view file, std::string_view parameters,
                        std::string_view directory, int showCommand) override;
  void SetCursor(design::CursorHandle cursor) override;
};

// MainW over a scripted source and a recording shell; warnings are counted
// instead of shown. Callers show it and wait for it themselves.
struct TestMainW {
  ScriptedUsbHubSource source;
  RecordingShell shell;
  MainW window{source, shell};
  int warnings = 0;

  TestMainW();
  template <typename T = QWidget>
  T* Find(const char* name) const {
    auto* found = window.findChild<T*>(QString::fromLatin1(name));
    if (found == nullptr) {
      qFatal("no control %s", name);
    }
    return found;
  }
  QString Text(const char* name) const { return Find<QLineEdit>(name)->text(); }
  void Click(const char* name) const;
  // As the user's click comes: through the window system, so modal windows block it.
  void ClickThroughWindowSystem(const char* name) const;
};

}  // namespace vellmor::ui::test
