#include "serial/read_serial_command.h"

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace vellmor::serial {
namespace {

constexpr std::u16string_view kEmptyDigest = u"D41D8CD98F00B204E9800998ECF8427E";

// Logs the command's calls in order. The text box may be told to keep fewer
// characters than it is given, as a real one with a length limit would.
class RecordingView : public ReadSerialView {
 public:
  mutable std::vector<std::u16string> calls;
  std::size_t text1_limit = std::u16string::npos;
  bool fail_set_text1 = false;
  bool fail_warning = false;

  void SetText1(const std::u16string& text) override {
    calls.push_back(u"SetText1:" + text);
    if (fail_set_text1) {
      throw std::runtime_error("text box");
    }
    m_text1 = text.substr(0, text1_limit);
  }
  std::u16string Text1() const override {
    calls.emplace_back(u"Text1");
    return m_text1;
  }
  void ShowWarning(std::u16string_view text, std::u16string_view title) override {
    calls.push_back(u"Warning:" + std::u16string(text) + u"|" + std::u16string(title));
    if (fail_warning) {
      throw std::runtime_error("message box");
    }
  }
  void SetText2(const std::u16string& text) override { calls.push_back(u"SetText2:" + text); }

 private:
  std::u16string m_text1 = u"previous";
};

// Hands out the given values one per call and counts the calls.
struct ScriptedCc {
  std::vector<SerialValue> values;
  int calls = 0;

  SerialValue operator()() {
    const auto index = static_cast<std::size_t>(calls++);
    return index < values.size() ? values[index] : std::nullopt;
  }
};

std::vector<std::u16string> Click(ScriptedCc& cc, RecordingView& view) {
  RunReadSerialCommand([&cc] { return cc(); }, view);
  return view.calls;
}

std::u16string Warning() { return u"Warning:请插入U盘|Vellmor"; }

TEST(ReadSerialCommandTest, ShowsSerialAndItsDigestWithoutWarning) {
  ScriptedCc cc{{u"AB12CD34"}};
  RecordingView view;
  EXPECT_EQ(Click(cc, view),
            (std::vector<std::u16string>{u"SetText1:AB12CD34", u"Text1",
                                         u"SetText2:EB1DEF2FBD36FAA7E9316A54D75FA457"}));
}

TEST(ReadSerialCommandTest, NoValueWarnsAndDigestsTheEmptyText) {
  ScriptedCc cc{{std::nullopt}};
  RecordingView view;
  EXPECT_EQ(Click(cc, view),
            (std::vector<std::u16string>{u"SetText1:", u"Text1", Warning(),
                                         u"SetText2:" + std::u16string(kEmptyDigest)}));
}

TEST(ReadSerialCommandTest, EmptyTextWarnsLikeNoValue) {
  ScriptedCc cc{{u""}};
  RecordingView view;
  EXPECT_EQ(Click(cc, view),
            (std::vector<std::u16string>{u"SetText1:", u"Text1", Warning(),
                                         u"SetText2:" + std::u16string(kEmptyDigest)}));
}

TEST(ReadSerialCommandTest, QueriesOncePerClickSoBothBoxesShowTheSameDevice) {
  // A drive pulled out (then another plugged in) right after the first query must not
  // change what Text2 describes.
  ScriptedCc cc{{u"AAA1", std::nullopt, u"BBB2"}};
  RecordingView view;
  EXPECT_EQ(Click(cc, view),
            (std::vector<std::u16string>{u"SetText1:AAA1", u"Text1",
                                         u"SetText2:D43D15F17EB3ADA99F95EEBCE8578761"}));
  EXPECT_EQ(cc.calls, 1);

  RecordingView second;
  Click(cc, second);
  EXPECT_EQ(cc.calls, 2);
  EXPECT_EQ(second.calls.back(), u"SetText2:" + std::u16string(kEmptyDigest));
}

TEST(ReadSerialCommandTest, DigestsTheSerialNotWhatTheTextBoxKept) {
  ScriptedCc cc{{u"BBB2"}};
  RecordingView view;
  view.text1_limit = 0;
  EXPECT_EQ(Click(cc, view),
            (std::vector<std::u16string>{u"SetText1:BBB2", u"Text1", Warning(),
                                         u"SetText2:FC0A190F4F313BA59009F44BD4597742"}));
}

TEST(ReadSerialCommandTest, TextBoxFailurePropagatesAndLeavesText2Alone) {
  ScriptedCc cc{{u"AAA1"}};
  RecordingView view;
  view.fail_set_text1 = true;
  EXPECT_THROW(RunReadSerialCommand([&cc] { return cc(); }, view), std::runtime_error);
  EXPECT_EQ(view.calls, std::vector<std::u16string>{u"SetText1:AAA1"});
}

TEST(ReadSerialCommandTest, WarningFailurePropagatesAndLeavesText2Alone) {
  ScriptedCc cc{{std::nullopt}};
  RecordingView view;
  view.fail_warning = true;
  EXPECT_THROW(RunReadSerialCommand([&cc] { return cc(); }, view), std::runtime_error);
  EXPECT_EQ(view.calls, (std::vector<std::u16string>{u"SetText1:", u"Text1", Warning()}));
}

TEST(ReadSerialCommandTest, SameStateGivesTheSameTextsAgain) {
  ScriptedCc cc{{u"abc", u"abc"}};
  RecordingView first;
  RecordingView second;
  EXPECT_EQ(Click(cc, first), Click(cc, second));
  EXPECT_EQ(first.calls.back(), u"SetText2:900150983CD24FB0D6963F7D28E17F72");
}

}  // namespace
}  // namespace vellmor::serial
