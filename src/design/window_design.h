#pragma once

// MainW and the About window 关于 as data, the one description that both front
// ends (Qt on Linux, Win32 on Windows) turn into real windows.
//
// - Places and sizes are twips from the top-left corner of the client area;
//   scale them with TwipsToPixels (twips.h) at the window's dpi.
// - Window::controls are in creation order, which is also the drawing order
//   (an earlier control lies under a later one). Tab order comes from
//   tabIndex; FocusCycle gives the controls the Tab key visits, the first of
//   them holding the focus when the window opens.
// - A control without a font of its own uses its window's defaultFont.
// - Pictures are named by the resource ids of resource_ids.h.
// - Links: OpenControlLink makes the control's shell call with the designed
//   arguments; ControlMouseMove makes the set-pointer call for a control whose
//   pointer is PointerKind::kSystemCursor.
// - Nothing here knows a toolkit.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform_shell.h"
#include "twips.h"

namespace vellmor::design {

enum class ControlKind { kButton, kTextBox, kLabel, kPictureBox };

struct Font {
  std::u16string_view face;
  // Twentieths of a point, so that TwipsToPixels gives the height in pixels: 210 is 10.5 points.
  int sizeTwips;
  int weight;  // 400 normal, 700 bold
  bool underline;
  int charSet;  // 134: GB2312
  double PointSize() const { return sizeTwips / 20.0; }
};

inline constexpr int kGb2312CharSet = 134;
inline constexpr int kWeightNormal = 400;
inline constexpr int kWeightBold = 700;

enum class PointerKind {
  kStandard,      // the window's own pointer
  kSystemCursor,  // the mouse-move handler puts up kLinkCursor (ControlMouseMove)
  kImage,         // the control's own pointer image, pointerImage
};

enum class Border {
  kNone,
  kSunken,  // the 3-D sunken edge, kSunkenBorderPixels wide
};
inline constexpr int kSunkenBorderPixels = 2;

struct Control {
  std::string_view name;
  ControlKind kind = ControlKind::kLabel;
  Rect rect = {};               // twips
  std::u16string caption = {};  // lines separated by CR LF
  std::optional<Font> font = {};
  int tabIndex = 0;
  PointerKind pointer = PointerKind::kStandard;
  int pointerImage = 0;        // resource id, for PointerKind::kImage
  std::string_view link = {};  // opened by a click; empty for none
  bool mailForm = false;       // the link goes through the mail form of the shell call
  Border border = Border::kNone;
  bool autoSize = false;  // sizes itself to its caption in its font
  bool multiLine = false;
  int picture = 0;  // resource id of a picture box's picture (its first frame is shown)
  std::string_view labelledBy = {};  // the label whose caption names it to screen readers
};

enum class FrameKind {
  kFixedDialog,  // no resizing; title bar, system menu, close button only
  kSizable,      // resizable; system menu, minimize, maximize and close buttons
};

enum class Placement { kCentreOnScreen, kCentreOverOwner };

struct Window {
  std::u16string_view name;
  std::u16string caption;
  Size client;  // twips
  FrameKind frame;
  bool taskbarButton;
  Placement placement;
  int icon;  // resource id
  Font defaultFont;
  std::vector<Control> controls;

  // The control of that name; nullptr when there is none.
  const Control* Find(std::string_view controlName) const;
};

inline constexpr std::u16string_view kSongTi = u"宋体";

// The font of every control that sets none, in both windows: the Chinese
// system's 9-point Song.
inline constexpr Font kDefaultFont{kSongTi, 180, kWeightNormal, false, kGb2312CharSet};

const Window& MainWDesign();
const Window& AboutDesign();

// Labels take no focus; every other kind does.
bool TakesFocus(const Control& control);

// The controls that the Tab key visits, in tab order.
std::vector<const Control*> FocusCycle(const Window& window);

// What a screen reader calls the control: the caption of the label that names
// it, else its own caption, else (a picture) the address it opens.
std::u16string AccessibleName(const Window& window, const Control& control);

// The shell call for a click on the control: "Open" with its link; the web
// form with parameters "0", directory "0" and show command 0 (hidden), the
// mail form with empty parameters, the program's folder and show command 1.
// A control without a link makes no call.
void OpenControlLink(PlatformShell& shell, WindowHandle owner, const Control& control,
                     std::string_view programFolder);

// The set-pointer call, only when no mouse button is held and only for a control
// whose pointer is kSystemCursor.
void ControlMouseMove(PlatformShell& shell, const Control& control, bool anyButtonHeld);

}  // namespace vellmor::design
