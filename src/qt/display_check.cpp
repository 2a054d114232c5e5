#include "display_check.h"

#include <cstdio>
#include <cstdlib>

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include "base/version.h"

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

constexpr const char* kWindowUsage =
    "Usage: vellmor [-h | --help | -v | --version]\n"
    "\n"
    "Opens the Vellmor window: \"读取序列号\" reads the serial number of the USB\n"
    "storage device plugged in and shows it with its MD5 digest; with no such\n"
    "device it asks for one (请插入U盘). Qt's own options (-platform, -style,\n"
    "...) are passed on to Qt. For the same on the command line, see\n"
    "vellmor-cli --help.\n"
    "\n"
    "  -h, --help     Prints this text.\n"
    "  -v, --version  Prints the program's version.\n";

}  // namespace

// Parsed apart from any application object, so that it needs no display.
std::optional<std::string> CommandLineAnswer(int argc, const char* const* argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) {
    arguments.push_back(QString::fromLocal8Bit(argv[i]));
  }
  QCommandLineParser parser;
  const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
  const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
  parser.addOption(help);
  parser.addOption(version);
  // Qt's options are not ours to refuse; the parse still sees ours among them.
  parser.parse(arguments);
  if (parser.isSet(help)) {
    return std::string(kWindowUsage);
  }
  if (parser.isSet(version)) {
    return std::string("vellmor ") + VELLMOR_VERSION + "\n";
  }
  return std::nullopt;
}

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
