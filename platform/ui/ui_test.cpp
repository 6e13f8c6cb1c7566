#include "platform/ui/ui.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

#include "common/automation_error.h"
#include "platform/ui/recorder.h"

namespace bq::ui {
namespace {

using Kind = Recorder::Kind;
using WindowAction = Recorder::WindowAction;
using WindowEnd = Recorder::WindowEnd;

int32_t errorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const AutomationError& e) {
    return e.number();
  }
  return 0;
}

// The smallest picture the header reader accepts: a PNG header of 3 x 2 pixels.
std::vector<uint8_t> tinyPng() {
  return {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0,
          0,    0,   3,   0,   0,    0,    2,    8,    2, 0, 0, 0,  0,   0,   0,   0};
}

struct StyleCase {
  int style;
  std::vector<int> buttons;
  int answer;  // of the default button
};

TEST(MessageBoxStyle, ButtonsAndDefaultOfEverySet) {
  const int b2 = vbDefaultButton2, b3 = vbDefaultButton3, b4 = 768;
  const StyleCase cases[] = {
      {vbOKOnly, {vbOK}, vbOK},
      {vbOKOnly + b2, {vbOK}, vbOK},  // a default beyond the set is the first button
      {vbOKOnly + b3, {vbOK}, vbOK},
      {vbOKCancel, {vbOK, vbCancel}, vbOK},
      {vbOKCancel + b2, {vbOK, vbCancel}, vbCancel},
      {vbOKCancel + b3, {vbOK, vbCancel}, vbOK},
      {vbAbortRetryIgnore, {vbAbort, vbRetry, vbIgnore}, vbAbort},
      {vbAbortRetryIgnore + b2, {vbAbort, vbRetry, vbIgnore}, vbRetry},
      {vbAbortRetryIgnore + b3, {vbAbort, vbRetry, vbIgnore}, vbIgnore},
      {vbAbortRetryIgnore + b4, {vbAbort, vbRetry, vbIgnore}, vbAbort},
      {vbYesNoCancel, {vbYes, vbNo, vbCancel}, vbYes},
      {vbYesNoCancel + b2, {vbYes, vbNo, vbCancel}, vbNo},
      {vbYesNoCancel + b3, {vbYes, vbNo, vbCancel}, vbCancel},
      {vbYesNo, {vbYes, vbNo}, vbYes},
      {vbYesNo + b2, {vbYes, vbNo}, vbNo},
      {vbYesNo + vbQuestion + b2, {vbYes, vbNo}, vbNo},  // the icon bits change nothing
      {vbYesNo + b3, {vbYes, vbNo}, vbYes},
      {vbRetryCancel, {vbRetry, vbCancel}, vbRetry},
      {vbRetryCancel + vbCritical + b2, {vbRetry, vbCancel}, vbCancel},
      {vbOKOnly + vbInformation + 4096, {vbOK}, vbOK},  // system-modal is accepted
  };
  for (const StyleCase& c : cases) {
    SCOPED_TRACE(c.style);
    EXPECT_EQ(messageBoxButtons(c.style), c.buttons);
    EXPECT_EQ(defaultAnswer(c.style), c.answer);
    testing::internal::CaptureStderr();
    EXPECT_EQ(MsgBox("p", c.style, "t"), c.answer) << "the console answers the default";
    testing::internal::GetCapturedStderr();
  }
  for (int bad : {6, 7, 15, vbYesNo + 8, -1}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(errorOf([&] { messageBoxButtons(bad); }), 5);
    EXPECT_EQ(errorOf([&] { MsgBox("p", bad); }), 5);
  }
}

TEST(Console, WritesTheBoxToStandardErrorAndAnswersTheDefault) {
  ASSERT_FALSE(backendIsSet());
  testing::internal::CaptureStderr();
  EXPECT_EQ(MsgBox("第一行\r\n第二行", vbYesNoCancel + vbDefaultButton2, "标题"), vbNo);
  EXPECT_EQ(InputBox("名字?", "", "张三"), "张三");
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "标题: 第一行\n第二行\n  [Yes] [No] [Cancel] -> No\n" + programName() +
                     ": 名字?\n  -> \"张三\"\n");
  EXPECT_EQ(programName(), "ui_test");
}

TEST(Console, CannotShowWindows) {
  PictureWindow w{"结束", tinyPng(), true, [](WindowControl&) { FAIL() << "no handler runs"; }};
  try {
    runModal(w);
    FAIL() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 429);
    EXPECT_EQ(e.source(), "");
    EXPECT_EQ(e.description(),
              "ActiveX component can't create object: no display: the window \"结束\" cannot be "
              "shown (this thread uses the console user interface)");
  }
}

TEST(Recorder, AnswersFromItsScriptInOrderThenAsTheConsole) {
  auto rec = std::make_shared<Recorder>();
  rec->answerMessageBox(vbNo);
  rec->answerMessageBox(vbRetry);
  rec->answerInputBox("");  // a cancelled box
  rec->answerInputBox("b");
  EXPECT_EQ(rec->pending(), 4u);
  ScopedBackend scope(rec);
  testing::internal::CaptureStderr();
  EXPECT_EQ(InputBox("p1", "t1", "d1"), "");
  EXPECT_EQ(MsgBox("m1", vbYesNo + vbExclamation), vbNo);
  EXPECT_EQ(MsgBox("m2", vbRetryCancel, "t2"), vbRetry);
  EXPECT_EQ(MsgBox("m3", vbOKCancel + vbDefaultButton2), vbCancel);
  EXPECT_EQ(InputBox("p2"), "b");
  EXPECT_EQ(InputBox("p3", "", "d3"), "d3");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "the recorder writes nothing";
  EXPECT_EQ(rec->pending(), 0u);

  const auto& log = rec->shown();
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(log[0].kind, Kind::kInputBox);
  EXPECT_EQ(log[0].prompt + log[0].title + log[0].defaultText, "p1t1d1");
  EXPECT_EQ(log[1].kind, Kind::kMessageBox);
  EXPECT_EQ(log[1].buttons, vbYesNo + vbExclamation);
  EXPECT_EQ(log[1].title, "") << "an empty title is logged as passed";
  EXPECT_EQ(log[2].title, "t2");
  const bool scripted[] = {true, true, true, false, true, false};
  for (size_t i = 0; i < log.size(); ++i) {
    EXPECT_EQ(log[i].scripted, scripted[i]) << i;
    EXPECT_EQ(log[i].end, WindowEnd::kNotAWindow) << i;
  }
}

TEST(Recorder, RefusesAnswersThatNoButtonGives) {
  Recorder rec;
  EXPECT_EQ(errorOf([&] { rec.answerMessageBox(0); }), 5);
  EXPECT_EQ(errorOf([&] { rec.answerMessageBox(8); }), 5);
  rec.answerMessageBox(vbYes);
  try {
    rec.messageBox({"p", vbOKCancel, ""});
    FAIL() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 5);
    EXPECT_EQ(e.description(),
              "the scripted answer Yes is not a button of the message box (OK, Cancel)");
  }
  ASSERT_EQ(rec.shown().size(), 1u) << "the faulty request is still in the log";
  EXPECT_EQ(errorOf([&] { rec.messageBox({"p", 9, ""}); }), 5);
  EXPECT_EQ(rec.shown().size(), 1u) << "a bad style is refused before it is shown";
}

TEST(Recorder, WindowActions) {
  auto rec = std::make_shared<Recorder>();
  ScopedBackend scope(rec);
  int calls = 0;
  bool closeIt = true;
  PictureWindow w{"w", tinyPng(), true, [&](WindowControl& c) {
                    ++calls;
                    if (closeIt) {
                      c.close();
                      c.close();  // a second close does nothing more
                    }
                  }};

  rec->actOnWindow(WindowAction::kDoubleClick);
  runModal(w);
  EXPECT_EQ(calls, 1);

  rec->actOnWindow(WindowAction::kDoubleClick);
  closeIt = false;
  runModal(w);  // returns although the handler left the window open
  EXPECT_EQ(calls, 2);

  rec->actOnWindow(WindowAction::kClose);
  runModal(w);
  EXPECT_EQ(calls, 2) << "closing by the user runs no handler";

  rec->actOnWindow(WindowAction::kThrow);
  EXPECT_EQ(errorOf([&] { runModal(w); }), 429);
  EXPECT_EQ(errorOf([&] { runModal(w); }), 429) << "no scripted action: as the console";

  rec->actOnWindow(WindowAction::kDoubleClick);
  PictureWindow noHandler{"n", tinyPng(), false, nullptr};
  runModal(noHandler);

  const auto& log = rec->shown();
  ASSERT_EQ(log.size(), 6u);
  const WindowEnd ends[] = {WindowEnd::kClosedByHandler, WindowEnd::kStayedOpen,
                            WindowEnd::kClosedByUser,    WindowEnd::kFailed,
                            WindowEnd::kFailed,          WindowEnd::kStayedOpen};
  for (size_t i = 0; i < log.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(log[i].kind, Kind::kWindow);
    EXPECT_EQ(log[i].end, ends[i]);
    EXPECT_EQ(log[i].scripted, i != 4);
  }
  EXPECT_EQ(log[0].title, "w");
  EXPECT_EQ(log[0].width, 3);
  EXPECT_EQ(log[0].height, 2);
  EXPECT_TRUE(log[0].alwaysOnTop);
  EXPECT_FALSE(log[5].alwaysOnTop);
}

TEST(Recorder, HandlersThatShowMoreOrFail) {
  auto rec = std::make_shared<Recorder>();
  ScopedBackend scope(rec);
  rec->actOnWindow(WindowAction::kDoubleClick);
  rec->actOnWindow(WindowAction::kDoubleClick);
  rec->answerMessageBox(vbYes);
  // Many nested boxes make the log grow while the window's entry is pending.
  PictureWindow w{"outer", tinyPng(), false, [](WindowControl& c) {
                    for (int i = 0; i < 40; ++i) MsgBox("inner", vbYesNo);
                    c.close();
                  }};
  runModal(w);
  ASSERT_EQ(rec->shown().size(), 41u);
  EXPECT_EQ(rec->shown()[0].kind, Kind::kWindow) << "the window comes before what it showed";
  EXPECT_EQ(rec->shown()[0].end, WindowEnd::kClosedByHandler);
  EXPECT_EQ(rec->shown()[1].answer, vbYes);
  EXPECT_EQ(rec->shown()[2].answer, vbYes) << "the default once the script is used up";

  PictureWindow failing{"f", tinyPng(), false,
                        [](WindowControl&) { throw std::runtime_error("handler failed"); }};
  EXPECT_THROW(runModal(failing), std::runtime_error);
  EXPECT_EQ(rec->shown().back().end, WindowEnd::kFailed);

  rec->actOnWindow(WindowAction::kDoubleClick);
  PictureWindow bad{"bad", {'G', 'I', 'F', '8', '9', 'a'}, false, nullptr};
  EXPECT_EQ(errorOf([&] { runModal(bad); }), 481);
  EXPECT_EQ(rec->shown().size(), 42u) << "an invalid picture is never shown";
  EXPECT_EQ(rec->pending(), 1u) << "and uses no scripted action";
}

TEST(Backends, BelongToOneThread) {
  auto mine = std::make_shared<Recorder>();
  setBackend(mine);
  EXPECT_TRUE(backendIsSet());
  EXPECT_EQ(&backend(), mine.get());

  bool otherHadOne = true;
  int otherAnswer = 0;
  std::shared_ptr<Recorder> theirs;
  std::thread([&] {
    otherHadOne = backendIsSet();
    testing::internal::CaptureStderr();
    otherAnswer = MsgBox("from the other thread", vbYesNo + vbDefaultButton2);
    testing::internal::GetCapturedStderr();
    theirs = std::make_shared<Recorder>();
    setBackend(theirs);
    MsgBox("also from the other thread");
  }).join();
  EXPECT_FALSE(otherHadOne);
  EXPECT_EQ(otherAnswer, vbNo) << "answered by the console";
  EXPECT_EQ(theirs->shown().size(), 1u);
  EXPECT_TRUE(mine->shown().empty()) << "this thread's recorder saw nothing";
  EXPECT_EQ(&backend(), mine.get()) << "their setBackend did not reach this thread";

  {
    auto inner = std::make_shared<Recorder>();
    ScopedBackend scope(inner);
    MsgBox("inner");
    EXPECT_EQ(inner->shown().size(), 1u);
  }
  EXPECT_EQ(&backend(), mine.get()) << "the scope restored the one before";
  setBackend(nullptr);
  EXPECT_FALSE(backendIsSet());
}

// Regression: a handler that replaced this thread's back end freed the back
// end whose runModal was still running.
TEST(Backends, StayAliveWhileAHandlerReplacesThem) {
  std::weak_ptr<Recorder> watch;
  {
    auto rec = std::make_shared<Recorder>();
    rec->actOnWindow(WindowAction::kDoubleClick);
    watch = rec;
    setBackend(std::move(rec));
  }
  PictureWindow w{"w", tinyPng(), false, [&](WindowControl& c) {
                    setBackend(nullptr);
                    EXPECT_FALSE(watch.expired()) << "runModal still holds its back end";
                    c.close();
                  }};
  runModal(w);
  EXPECT_TRUE(watch.expired());
  EXPECT_FALSE(backendIsSet());
}

}  // namespace
}  // namespace bq::ui
