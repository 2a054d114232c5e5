#include "ui_test_support.h"

#include <algorithm>
#include <utility>

#include <QTest>

namespace vellmor::ui::test {

namespace {

class ScriptedResults : public serial::UsbHubResults {
 public:
  explicit ScriptedResults(std::vector<serial::DeviceId> ids) : m_ids(std::move(ids)) {}

  bool StartEnumeration() override { return true; }

  Fetch Next() override {
    if (m_next >= m_ids.size()) {
      return Fetch::kEnd;
    }
    m_current = m_next++;
    return Fetch::kItem;
  }

  serial::DeviceId ReadDeviceId() override { return m_ids.at(m_current); }

 private:
  std::vector<serial::DeviceId> m_ids;
  std::size_t m_next = 0;
  std::size_t m_current = 0;
};

class ScriptedService : public serial::UsbHubService {
 public:
  explicit ScriptedService(std::vector<serial::DeviceId> ids) : m_ids(std::move(ids)) {}

  std::unique_ptr<serial::UsbHubResults> ExecQuery(std::u16string_view /*query*/) override {
    return std::make_unique<ScriptedResults>(m_ids);
  }

 private:
  std::vector<serial::DeviceId> m_ids;
};

}  // namespace

std::unique_ptr<serial::UsbHubService> ScriptedUsbHubSource::Bind(std::u16string_view /*moniker*/) {
  const auto index = static_cast<std::size_t>(binds++);
  if (answers.empty()) {
    return nullptr;
  }
  return std::make_unique<ScriptedService>(answers.at(std::min(index, answers.size() - 1)));
}

void RecordingShell::CallShellExecute(design::WindowHandle owner, std::string_view operation,
                                      std::string_view file, std::string_view parameters,
                                      std::string_view directory, int showCommand) {
  calls.push_back({owner, std::string(operation), std::string(file), std::string(parameters),
                   std::string(directory), showCommand});
}

void RecordingShell::SetCursor(design::CursorHandle cursor) { cursors.push_back(cursor); }

TestMainW::TestMainW() {
  window.SetWarningPresenter([this](const QString&, const QString&) { ++warnings; });
}

void TestMainW::Click(const char* name) const { QTest::mouseClick(Find(name), Qt::LeftButton); }

void TestMainW::ClickThroughWindowSystem(const char* name) const {
  QTest::mouseClick(window.windowHandle(), Qt::LeftButton, Qt::NoModifier,
                    Find(name)->geometry().center());
}

}  // namespace vellmor::ui::test
