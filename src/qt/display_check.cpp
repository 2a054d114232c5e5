#include "display_check.h"

#include <cstdio>
#include <cstdlib>

#include <QString>
#include <QtGlobal>

namespace vellmor::ui {

namespace {

bool IsSet(const EnvironmentLookup& lookup, const char* name) {
  const char* value = lookup(name);
  return value != nullptr && *value != '\0';
}

std::string g_guardedProgram;
QtMessageHandler g_previousHandler = nullptr;

void ExitOnFatal(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type != QtFatalMsg) {
    if (g_previousHandler != nullptr) {
      g_previousHandler(type, context, message);
    } else {
      std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    }
    return;
  }
  const std::string hint = StartWithoutDisplayHint(g_guardedProgram);
  std::fprintf(stderr, "%s\n\n%s: the window system could not start.\n%s",
               message.toLocal8Bit().constData(), g_guardedProgram.c_str(), hint.c_str());
  std::fflush(stderr);
  // Half-built Qt objects must not be torn down by exit's handlers.
  std::_Exit(EXIT_FAILURE);
}

}  // namespace

std::optional<std::string> MissingDisplayMessage(const EnvironmentLookup& lookup,
                                                 std::string_view program) {
  if (IsSet(lookup, "QT_QPA_PLATFORM") || IsSet(lookup, "DISPLAY") ||
      IsSet(lookup, "WAYLAND_DISPLAY")) {
    return std::nullopt;
  }
  return std::string(program) +
         ": no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is set).\n" +
         StartWithoutDisplayHint(program);
}

std::string StartWithoutDisplayHint(std::string_view program) {
  return "Start it from a desktop session, or under a virtual X server:\n  xvfb-run -a " +
         std::string(program) + "\n";
}

PlatformStartGuard::PlatformStartGuard(std::string_view program) {
  g_guardedProgram = std::string(program);
  g_previousHandler = qInstallMessageHandler(&ExitOnFatal);
}

PlatformStartGuard::~PlatformStartGuard() { qInstallMessageHandler(g_previousHandler); }

}  // namespace vellmor::ui
