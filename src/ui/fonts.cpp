#include "fonts.h"

#include <QStringList>

namespace vellmor::ui {

namespace {

constexpr qreal kDefaultPointSize = 9.0;

void InstallSongTiSubstitutes() {
  // Qt tries the family first, so a system that has 宋体 keeps it.
  static const bool installed = [] {
    QFont::insertSubstitutions(
        SongTiFamily(),
        {QStringLiteral("SimSun"), QStringLiteral("AR PL UMing CN"),
         QStringLiteral("AR PL UMing TW"), QStringLiteral("Noto Serif CJK SC"),
         QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Droid Sans Fallback")});
    return true;
  }();
  (void)installed;
}

}  // namespace

QString SongTiFamily() { return QStringLiteral("宋体"); }

QFont SongTiFont(qreal pointSize) {
  InstallSongTiSubstitutes();
  QFont font(SongTiFamily());
  font.setPointSizeF(pointSize);
  return font;
}

QFont DefaultWindowFont() { return SongTiFont(kDefaultPointSize); }

}  // namespace vellmor::ui
