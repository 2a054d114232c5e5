#include "serial/read_serial_command.h"

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace vellmor::serial {
namespace {

using Calls = std::vector<std::u16string>;

const std::u16string kWarning = u"Warning:请插入U盘|Vellmor";
const std::u16string kEmptyDigest = u"SetText2:D41D8CD98F00B204E9800998ECF8427E";

// Logs the command's calls in order. The text box may be told to keep fewer
// characters than it is given, as a real one with a length limit would.
class RecordingView : public ReadSerialView {
 public:
  mutable Calls calls;
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

Calls Click(ScriptedCc& cc, RecordingView& view) {
  RunReadSerialCommand([&cc] { return cc(); }, view);
  return view.calls;
}

TEST(ReadSerialCommandTest, ShowsSerialAndItsDigestWithoutWarning) {
  ScriptedCc cc{{u"AB12CD34"}};
  RecordingView view;
  EXPECT_EQ(Click(cc, view),
            (Calls{u"SetText1:AB12CD34", u"Text1", u"SetText2:EB1DEF2FBD36FAA7E9316A54D75FA457"}));
}

TEST(ReadSerialCommandTest, NoValueOrEmptyTextWarnsAndDigestsTheEmptyText) {
  for (const SerialValue& value : {SerialValue(), SerialValue(u"")}) {
    ScriptedCc cc{{value}};
    RecordingView view;
    EXPECT_EQ(Click(cc, view), (Calls{u"SetText1:", u"Text1", kWarning, kEmptyDigest}));
  }
}

TEST(ReadSerialCommandTest, ReturnsWhatItShowed) {
  for (const SerialValue& value : {SerialValue(), SerialValue(u""), SerialValue(u"AB12CD34")}) {
    ScriptedCc cc{{value}};
    RecordingView view;
    const ShownSerial shown = RunReadSerialCommand([&cc] { return cc(); }, view);
    EXPECT_EQ(shown.serial, value);
    EXPECT_EQ(shown.warned, value.value_or(u"").empty());
    EXPECT_EQ(u"SetText2:" + shown.digest, view.calls.back());
  }
}

TEST(ReadSerialCommandTest, QueriesOncePerClickSoBothBoxesShowTheSameDevice) {
  // A drive pulled out (then another plugged in) right after the first query must not
  // change what Text2 describes.
  ScriptedCc cc{{u"AAA1", std::nullopt, u"BBB2"}};
  RecordingView view;
  EXPECT_EQ(Click(cc, view),
            (Calls{u"SetText1:AAA1", u"Text1", u"SetText2:D43D15F17EB3ADA99F95EEBCE8578761"}));
  EXPECT_EQ(cc.calls, 1);

  RecordingView second;
  EXPECT_EQ(Click(cc, second).back(), kEmptyDigest);
  EXPECT_EQ(cc.calls, 2);
}

TEST(ReadSerialCommandTest, DigestsTheSerialNotWhatTheTextBoxKept) {
  ScriptedCc cc{{u"BBB2"}};
  RecordingView view;
  view.text1_limit = 0;
  EXPECT_EQ(Click(cc, view), (Calls{u"SetText1:BBB2", u"Text1", kWarning,
                                    u"SetText2:FC0A190F4F313BA59009F44BD4597742"}));
}

TEST(ReadSerialCommandTest, ViewFailurePropagatesAndLeavesText2Alone) {
  ScriptedCc cc{{u"AAA1", std::nullopt}};
  RecordingView text_box;
  text_box.fail_set_text1 = true;
  EXPECT_THROW(Click(cc, text_box), std::runtime_error);
  EXPECT_EQ(text_box.calls, Calls{u"SetText1:AAA1"});

  RecordingView message_box;
  message_box.fail_warning = true;
  EXPECT_THROW(Click(cc, message_box), std::runtime_error);
  EXPECT_EQ(message_box.calls, (Calls{u"SetText1:", u"Text1", kWarning}));
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
