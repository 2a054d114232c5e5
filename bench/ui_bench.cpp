// The window's figures: start-up to the first paint of MainW, one click of
// Command1 with a scripted source, and the resident memory of the running
// window after it has shown and answered a click. Prints each figure against
// its target and exits non-zero when one is missed.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <time.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "serial/device_id.h"
#include "stability_support.h"
#include "qt/application.h"
#include "qt/main_window.h"
#include "ui_test_support.h"

namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::duration<double, std::milli>;

constexpr double kStartUpTargetMs = 250;
constexpr double kClickTargetMs = 5;
constexpr double kResidentTargetMiB = 40;
constexpr int kClicks = 1000;

// Milliseconds since the kernel started this process; its clock ticks are 10 ms
// on most systems, so this is coarse. Negative when /proc cannot tell.
double MsSinceExec() {
  std::ifstream stat("/proc/self/stat");
  std::string line;
  std::getline(stat, line);
  // Field 22, counted after the command name, which may hold blanks.
  const auto close = line.rfind(')');
  if (close == std::string::npos) {
    return -1;
  }
  std::string field;
  std::size_t position = close + 2;
  for (int index = 3; index <= 22 && position < line.size(); ++index) {
    const auto blank = line.find(' ', position);
    field = line.substr(position, blank - position);
    position = blank == std::string::npos ? line.size() : blank + 1;
  }
  timespec now{};
  clock_gettime(CLOCK_BOOTTIME, &now);
  const double ticks = std::strtod(field.c_str(), nullptr);
  const double started = ticks * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
  return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6 -
         started;
}

class FirstPaint : public QObject {
 public:
  bool seen = false;
  Clock::time_point when;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (!seen && event->type() == QEvent::Paint) {
      seen = true;
      when = Clock::now();
    }
    return QObject::eventFilter(watched, event);
  }
};

double Percentile(std::vector<double> values, double fraction) {
  std::sort(values.begin(), values.end());
  const auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1));
  return values[index];
}

bool Report(const char* what, double value, const char* unit, double target) {
  const bool met = value < target;
  std::printf("%-44s %9.2f %-3s (target < %g %s)  %s\n", what, value, unit, target, unit,
              met ? "PASS" : "FAIL");
  return met;
}

}  // namespace

int main(int argc, char* argv[]) {
  const Clock::time_point entered = Clock::now();
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }

  vellmor::ui::Application app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Vellmor"));

  // Two drives in turn, so that every click changes both texts and repaints them.
  const std::vector<vellmor::serial::DeviceId> drives[] = {
      {vellmor::serial::DeviceId::Text(u"USB\\ROOT_HUB20\\4&1A2B3C&0"),
       vellmor::serial::DeviceId::Text(u"USB\\VID_1234&PID_5678\\AB12CD34")},
      {vellmor::serial::DeviceId::Text(u"USB\\VID_0781&PID_5567\\4C530001230811117204")}};
  vellmor::ui::test::ScriptedUsbHubSource source;
  vellmor::ui::test::RecordingShell shell;
  vellmor::ui::MainW window(source, shell);
  FirstPaint firstPaint;
  window.installEventFilter(&firstPaint);
  window.show();
  QElapsedTimer waited;
  waited.start();
  while (!firstPaint.seen && waited.elapsed() < 10000) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  if (!firstPaint.seen) {
    std::fprintf(stderr, "ui_bench: MainW was never painted\n");
    return EXIT_FAILURE;
  }
  const double startUpMs = Milliseconds(firstPaint.when - entered).count();
  const double sinceExecMs = MsSinceExec();

  auto* command1 = window.findChild<QPushButton*>(QStringLiteral("Command1"));
  auto* text1 = window.findChild<QLineEdit*>(QStringLiteral("Text1"));
  if (command1 == nullptr || text1 == nullptr) {
    std::fprintf(stderr, "ui_bench: no Command1 or Text1 in MainW\n");
    return EXIT_FAILURE;
  }

  std::vector<double> clickMs;
  std::vector<double> clickAndPaintMs;
  double residentMiB = 0;
  for (int click = 0; click < kClicks; ++click) {
    source.answers = {drives[click % 2]};
    source.binds = 0;
    const Clock::time_point start = Clock::now();
    QTest::mouseClick(command1, Qt::LeftButton);
    const Clock::time_point handled = Clock::now();
    QCoreApplication::processEvents();
    const Clock::time_point painted = Clock::now();
    clickMs.push_back(Milliseconds(handled - start).count());
    clickAndPaintMs.push_back(Milliseconds(painted - start).count());
    if (click == 0) {
      residentMiB = static_cast<double>(vellmor::test::ResidentKiB()) / 1024.0;
    }
  }
  if (text1->text() != QStringLiteral("4C530001230811117204")) {
    std::fprintf(stderr, "ui_bench: Text1 shows the wrong serial\n");
    return EXIT_FAILURE;
  }

  std::printf("platform: %s, %d clicks\n", qPrintable(QGuiApplication::platformName()), kClicks);
  if (sinceExecMs >= 0) {
    std::printf("%-44s %9.2f ms (exec to main() adds the library loading)\n",
                "start-up from exec to first paint", sinceExecMs);
  }
  std::printf("%-44s %9.2f ms\n", "Command1 first click", clickMs.front());
  std::printf("%-44s %9.2f ms\n", "Command1 click, median", Percentile(clickMs, 0.5));
  // A busy machine preempts now and then (a scheduler tick is 4 ms): read these with its load.
  std::printf("%-44s %9.2f ms\n", "Command1 click and repaint, 95th percentile",
              Percentile(clickAndPaintMs, 0.95));
  std::printf("%-44s %9.2f ms\n", "Command1 click and repaint, slowest",
              Percentile(clickAndPaintMs, 1.0));
  bool met =
      Report("start-up from main() to first paint of MainW", startUpMs, "ms", kStartUpTargetMs);
  met = Report("Command1 click and repaint, median", Percentile(clickAndPaintMs, 0.5), "ms",
               kClickTargetMs) &&
        met;
  met = Report("VmRSS after show and one click", residentMiB, "MiB", kResidentTargetMiB) && met;
  std::printf("ui_bench: %s\n", met ? "PASS" : "FAIL");
  return met ? EXIT_SUCCESS : EXIT_FAILURE;
}
