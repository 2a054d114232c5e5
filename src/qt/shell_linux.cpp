#include "design/platform_shell.h"

#include <QApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QString>
#include <QUrl>
#include <QWidget>

namespace vellmor::design {

namespace {

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The desktop's URL handler stands in for ShellExecuteA, the pointing hand on
// the control under the mouse for the system cursor SetCursor names. Neither
// reports anything back, as the Windows calls' results go unexamined.
class LinuxShell final : public PlatformShell {
 public:
  void CallShellExecute(WindowHandle /*owner*/, std::string_view operation, std::string_view file,
                        std::string_view /*parameters*/, std::string_view directory,
                        int /*showCommand*/) override {
    if (FromUtf8(operation).compare(QStringLiteral("open"), Qt::CaseInsensitive) != 0) {
      return;
    }
    QUrl url(FromUtf8(file));
    if (url.scheme().isEmpty()) {
      url = QUrl::fromLocalFile(QDir(FromUtf8(directory)).absoluteFilePath(FromUtf8(file)));
    }
    QDesktopServices::openUrl(url);
  }

  void SetCursor(CursorHandle cursor) override {
    if (cursor != kLinkCursor) {
      return;
    }
    if (QWidget* widget = QApplication::widgetAt(QCursor::pos())) {
      widget->setCursor(Qt::PointingHandCursor);
    }
  }
};

}  // namespace

std::unique_ptr<PlatformShell> MakeSystemShell() { return std::make_unique<LinuxShell>(); }

}  // namespace vellmor::design
