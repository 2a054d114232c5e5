#include "window_design.h"

#include <algorithm>
#include <string>
#include <utility>

#include "base/application_title.h"
#include "base/utf.h"
#include "base/version.h"
#include "contact.h"
#include "resource_ids.h"

namespace vellmor::design {

namespace {

constexpr Font kLabelFont{kSongTi, 210, kWeightBold, false, kGb2312CharSet};
constexpr Font kLinkFont{kSongTi, 210, kWeightNormal, true, kGb2312CharSet};

constexpr std::string_view kOpen = "Open";
constexpr std::string_view kWebArgument = "0";
constexpr int kWebShowCommand = 0;   // SW_HIDE
constexpr int kMailShowCommand = 1;  // SW_SHOWNORMAL

// The contact values are ASCII.
std::u16string MainWCaption() {
  // The product version 5.1.0.7 reads "Ver 5.1.7": major, minor and the last part.
  const std::string version = std::to_string(VELLMOR_VERSION_MAJOR) + "." +
                              std::to_string(VELLMOR_VERSION_MINOR) + "." +
                              std::to_string(VELLMOR_VERSION_TWEAK);
  return std::u16string(kApplicationTitle) + u"  Ver " + Widen(version);
}

Window MakeMainW() {
  Window w{
      .name = u"MainW",
      .caption = MainWCaption(),
      .client = {5340, 3375},
      .frame = FrameKind::kFixedDialog,
      .taskbarButton = false,
      .placement = Placement::kCentreOnScreen,
      .icon = VELLMOR_ICON_MAINW,
      .defaultFont = kDefaultFont,
      .controls = {
          {.name = "Picture1",
           .kind = ControlKind::kPictureBox,
           .rect = {-1440, 0, 7095, 975},
           .tabIndex = 7,
           .pointer = PointerKind::kSystemCursor,
           .link = AdvertiserLink,
           .border = Border::kSunken,
           .picture = VELLMOR_PICTURE_BANNER},
          {.name = "Command1",
           .kind = ControlKind::kButton,
           .rect = {1320, 2040, 1150, 315},
           .caption = u"读取序列号",
           .tabIndex = 5},
          {.name = "Command3",
           .kind = ControlKind::kButton,
           .rect = {2640, 2040, 1150, 315},
           .caption = u"关于",
           .tabIndex = 4},
          {.name = "Text2",
           .kind = ControlKind::kTextBox,
           .rect = {1440, 1560, 3255, 375},
           .tabIndex = 3,
           .border = Border::kSunken,
           .labelledBy = "Label2"},
          {.name = "Text1",
           .kind = ControlKind::kTextBox,
           .rect = {1440, 1080, 3255, 375},
           .tabIndex = 0,
           .border = Border::kSunken,
           .labelledBy = "Label1"},
          {.name = "Label4",
           .kind = ControlKind::kLabel,
           .rect = {360, 2640, 6675, 825},
           .caption = u"本软件免费提供给广大用户，用于交流探讨。\r\n如有疑问请直接联系或网上留言。",
           .tabIndex = 6,
           .pointer = PointerKind::kSystemCursor,
           .link = AuthorSiteLink,
           .multiLine = true},
          {.name = "Label2",
           .kind = ControlKind::kLabel,
           .rect = {360, 1560, 810, 210},
           .caption = u"MD5加密",
           .font = kLabelFont,
           .tabIndex = 2,
           .autoSize = true},
          {.name = "Label1",
           .kind = ControlKind::kLabel,
           .rect = {240, 1200, 1020, 210},
           .caption = u"U盘序列号",
           .font = kLabelFont,
           .tabIndex = 1,
           .autoSize = true},
      }};
  return w;
}

Control AboutLabel(std::string_view name, Rect rect, std::u16string caption, int tabIndex,
                   int pointerImage, std::string_view link) {
  return {.name = name,
          .kind = ControlKind::kLabel,
          .rect = rect,
          .caption = std::move(caption),
          .font = kLinkFont,
          .tabIndex = tabIndex,
          .pointer = PointerKind::kImage,
          .pointerImage = pointerImage,
          .link = link,
          .mailForm = link == AuthorMailLink,
          .multiLine = true};
}

Window MakeAbout() {
  // Equal steps down the window, one left edge and one width for all four.
  constexpr int kLeft = 360;
  constexpr int kWidth = 2955;
  constexpr int kLineHeight = 345;
  return {.name = u"关于",
          .caption = Widen(kAuthorSiteHost),
          .client = {3900, 2490},
          .frame = FrameKind::kSizable,
          .taskbarButton = true,
          .placement = Placement::kCentreOverOwner,
          .icon = VELLMOR_ICON_ABOUT,
          .defaultFont = kDefaultFont,
          .controls = {
              AboutLabel("Label3", {kLeft, 1800, kWidth, kLineHeight},
                         u"E-mail：" + Widen(kAuthorMailAddress), 3, VELLMOR_POINTER_ENVELOPE,
                         AuthorMailLink),
              AboutLabel("Label2", {kLeft, 1440, kWidth, kLineHeight},
                         u"QQ群  ：" + Widen(kAuthorQqGroupNumber), 2, VELLMOR_POINTER_PERSON_PLUS,
                         AuthorSiteLink),
              AboutLabel("Label1", {kLeft, 1080, kWidth, kLineHeight},
                         u"QQ    ：" + Widen(kAuthorQqNumber), 1, VELLMOR_POINTER_PENGUIN,
                         AuthorSiteLink),
              AboutLabel("Label4", {kLeft, 360, kWidth, 585},
                         u"更多精品软件请点击\r\n" + Widen(AuthorSiteLink), 0, VELLMOR_POINTER_HAND,
                         AuthorSiteLink),
          }};
}

}  // namespace

const Control* Window::Find(std::string_view controlName) const {
  const auto found =
      std::find_if(controls.begin(), controls.end(),
                   [controlName](const Control& c) { return c.name == controlName; });
  return found == controls.end() ? nullptr : &*found;
}

const Window& MainWDesign() {
  static const Window design = MakeMainW();
  return design;
}

const Window& AboutDesign() {
  static const Window design = MakeAbout();
  return design;
}

bool TakesFocus(const Control& control) { return control.kind != ControlKind::kLabel; }

std::vector<const Control*> FocusCycle(const Window& window) {
  std::vector<const Control*> cycle;
  for (const Control& control : window.controls) {
    if (TakesFocus(control)) {
      cycle.push_back(&control);
    }
  }
  std::stable_sort(cycle.begin(), cycle.end(),
                   [](const Control* a, const Control* b) { return a->tabIndex < b->tabIndex; });
  return cycle;
}

std::u16string AccessibleName(const Window& window, const Control& control) {
  if (const Control* label = window.Find(control.labelledBy); label != nullptr) {
    return label->caption;
  }
  if (!control.caption.empty()) {
    return control.caption;
  }
  return Widen(control.link);
}

void OpenControlLink(PlatformShell& shell, WindowHandle owner, const Control& control,
                     std::string_view programFolder) {
  if (control.link.empty()) {
    return;
  }
  if (control.mailForm) {
    shell.CallShellExecute(owner, kOpen, control.link, "", programFolder, kMailShowCommand);
  } else {
    shell.CallShellExecute(owner, kOpen, control.link, kWebArgument, kWebArgument, kWebShowCommand);
  }
}

void ControlMouseMove(PlatformShell& shell, const Control& control, bool anyButtonHeld) {
  if (control.pointer == PointerKind::kSystemCursor && !anyButtonHeld) {
    shell.SetCursor(kLinkCursor);
  }
}

}  // namespace vellmor::design
