#include "design/window_design.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "design/contact.h"

namespace vellmor::design {
namespace {

struct Call {
  std::string file;
  std::string parameters;
  std::string directory;
  int showCommand;
  friend bool operator==(const Call&, const Call&) = default;
};

class RecordingShell : public PlatformShell {
 public:
  void CallShellExecute(WindowHandle /*owner*/, std::string_view operation, std::string_view file,
                        std::string_view parameters, std::string_view directory,
                        int showCommand) override {
    EXPECT_EQ(operation, "Open");
    calls.push_back(
        {std::string(file), std::string(parameters), std::string(directory), showCommand});
  }
  void SetCursor(CursorHandle cursor) override { cursors.push_back(cursor); }

  std::vector<Call> calls;
  std::vector<CursorHandle> cursors;
};

bool Overlap(const Rect& a, const Rect& b) {
  return a.left < b.left + b.width && b.left < a.left + a.width && a.top < b.top + b.height &&
         b.top < a.top + a.height;
}

bool Inside(const Rect& r, const Size& client) {
  return r.left >= 0 && r.top >= 0 && r.left + r.width <= client.width &&
         r.top + r.height <= client.height;
}

TEST(WindowDesignTest, NoControlsOverlapAndOnlyTheBannerAndNoticeReachOutside) {
  for (const Window* window : {&MainWDesign(), &AboutDesign()}) {
    std::vector<std::string> outside;
    for (std::size_t i = 0; i < window->controls.size(); ++i) {
      const Control& a = window->controls[i];
      if (!Inside(a.rect, window->client)) {
        outside.emplace_back(a.name);
      }
      for (std::size_t j = i + 1; j < window->controls.size(); ++j) {
        EXPECT_FALSE(Overlap(a.rect, window->controls[j].rect))
            << a.name << " and " << window->controls[j].name;
      }
    }
    const std::vector<std::string> expected = window == &MainWDesign()
                                                  ? std::vector<std::string>{"Picture1", "Label4"}
                                                  : std::vector<std::string>{};
    EXPECT_EQ(outside, expected);
  }
}

TEST(WindowDesignTest, PixelSizesAtTheDesignDpi) {
  EXPECT_EQ(TwipsToPixels(MainWDesign().client, kDesignDpi, kDesignDpi), (Size{356, 225}));
  EXPECT_EQ(TwipsToPixels(AboutDesign().client, kDesignDpi, kDesignDpi), (Size{260, 166}));
  EXPECT_EQ(TwipsToPixels(MainWDesign().Find("Picture1")->rect, kDesignDpi, kDesignDpi),
            (Rect{-96, 0, 473, 65}));
  EXPECT_EQ(TwipsToPixels(MainWDesign().Find("Label1")->font->sizeTwips, kDesignDpi), 14);
  EXPECT_EQ(MainWDesign().Find("Nothing"), nullptr);
}

TEST(WindowDesignTest, TabVisitsTheFocusTakingControlsInTabOrder) {
  std::vector<std::string_view> cycle;
  for (const Control* control : FocusCycle(MainWDesign())) {
    cycle.push_back(control->name);
  }
  EXPECT_EQ(cycle,
            (std::vector<std::string_view>{"Text1", "Text2", "Command3", "Command1", "Picture1"}));
  EXPECT_TRUE(FocusCycle(AboutDesign()).empty());
}

TEST(WindowDesignTest, CaptionsCarryTheProductAndContactValues) {
  EXPECT_EQ(MainWDesign().caption, u"Vellmor  Ver 5.1.7");
  EXPECT_EQ(AboutDesign().caption, u"www.example.com");
  EXPECT_EQ(AboutDesign().Find("Label3")->caption, u"E-mail：author@example.com");
  EXPECT_EQ(AboutDesign().Find("Label4")->caption, u"更多精品软件请点击\r\nhttp://www.example.com");
}

TEST(WindowDesignTest, LinksGoThroughTheWebOrTheMailFormAndThePointerOnlyWithNoButton) {
  RecordingShell shell;
  const std::string folder = "C:\\Program Files\\Vellmor";
  for (const char* name : {"Picture1", "Label4", "Label1", "Command1", "Text1"}) {
    OpenControlLink(shell, 1, *MainWDesign().Find(name), folder);
  }
  for (const char* name : {"Label3", "Label2"}) {
    OpenControlLink(shell, 1, *AboutDesign().Find(name), folder);
  }
  const std::string site(AuthorSiteLink);
  EXPECT_EQ(shell.calls, (std::vector<Call>{{std::string(AdvertiserLink), "0", "0", 0},
                                            {site, "0", "0", 0},
                                            {"mailto:author@example.com", "", folder, 1},
                                            {site, "0", "0", 0}}));

  ControlMouseMove(shell, *MainWDesign().Find("Label4"), false);
  ControlMouseMove(shell, *MainWDesign().Find("Picture1"), true);
  ControlMouseMove(shell, *MainWDesign().Find("Label1"), false);
  ControlMouseMove(shell, *AboutDesign().Find("Label4"), false);
  EXPECT_EQ(shell.cursors, std::vector<CursorHandle>{0x1002D});
}

}  // namespace
}  // namespace vellmor::design
