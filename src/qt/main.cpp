#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>

#include <QApplication>
#include <QtGlobal>

#include "application.h"
#include "base/version.h"
#include "display_check.h"
#include "main_window.h"

int main(int argc, char* argv[]) {
  const char* program = argc > 0 ? argv[0] : "vellmor";
  if (const auto answer = vellmor::ui::CommandLineAnswer(argc, argv)) {
    std::cout << *answer;
    return std::cout.flush() ? EXIT_SUCCESS : EXIT_FAILURE;
  }
#ifndef Q_OS_WIN
  const std::optional<std::string> noDisplay = vellmor::ui::MissingDisplayMessage(
      [](const char* name) -> const char* { return std::getenv(name); }, program);
  if (noDisplay) {
    std::cerr << *noDisplay;
    return EXIT_FAILURE;
  }
#endif

  std::optional<vellmor::ui::PlatformStartGuard> startGuard(std::in_place, program);
  vellmor::ui::Application app(argc, argv);
  startGuard.reset();

  QApplication::setApplicationName(QStringLiteral(VELLMOR_PRODUCT_NAME));
  // The About window is a window of its own; only closing MainW ends the program.
  QApplication::setQuitOnLastWindowClosed(false);

  // The program's one composition: the system's USB source and shell, for as long as MainW.
  const auto source = vellmor::serial::MakeSystemUsbHubSource();
  const auto shell = vellmor::design::MakeSystemShell();
  vellmor::ui::MainW mainW(*source, *shell);
  QObject::connect(&mainW, &vellmor::ui::MainW::closed, &app, &QCoreApplication::quit);
  mainW.show();
  return QApplication::exec();
}
