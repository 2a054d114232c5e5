#include "fonts.h"

#include <QString>
#include <QStringList>

#include "design_widgets.h"

namespace vellmor::ui {

namespace {

void InstallSongTiSubstitutes() {
  // Qt tries the family first, so a system that has 宋体 keeps it.
  static const bool installed = [] {
    QFont::insertSubstitutions(
        ToQString(design::kSongTi),
        {QStringLiteral("SimSun"), QStringLiteral("AR PL UMing CN"),
         QStringLiteral("AR PL UMing TW"), QStringLiteral("Noto Serif CJK SC"),
         QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Droid Sans Fallback")});
    return true;
  }();
  (void)installed;
}

}  // namespace

QFont DesignFont(const design::Font& font) {
  InstallSongTiSubstitutes();
  QFont qfont(ToQString(font.face));
  qfont.setPointSizeF(font.PointSize());
  qfont.setWeight(static_cast<QFont::Weight>(font.weight));
  qfont.setUnderline(font.underline);
  return qfont;
}

}  // namespace vellmor::ui
