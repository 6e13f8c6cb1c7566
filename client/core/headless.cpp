#include "client/core/headless.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <istream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "client/core/app_values.h"
#include "client/core/browser_host.h"
#include "client/core/dispatcher.h"
#include "common/automation_error.h"
#include "common/files.h"
#include "common/winpath.h"
#include "platform/codec/codec.h"
#include "platform/ui/ui.h"

namespace bq::client {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// Prints effects as JSON lines, flushed one by one so that a driver reading
// the output sees each effect as it happens.
class EffectWriter {
 public:
  explicit EffectWriter(std::ostream& out) : out_(out) {}
  void emit(const json& effect) {
    out_ << effect.dump(-1, ' ', false, json::error_handler_t::replace) << '\n';
    out_.flush();
  }

 private:
  std::ostream& out_;
};

const char* iconName(int buttons) {
  switch (buttons & 0x70) {
    case ui::vbCritical: return "critical";
    case ui::vbQuestion: return "question";
    case ui::vbExclamation: return "exclamation";
    case ui::vbInformation: return "information";
    default: return "none";
  }
}

// Message boxes answer their default button at once; windows cannot be shown.
class HeadlessUi final : public ui::Backend {
 public:
  explicit HeadlessUi(EffectWriter& effects) : effects_(effects) {}
  int messageBox(const ui::MessageBoxRequest& request) override {
    const int answer = ui::defaultAnswer(request.buttons);
    effects_.emit({{"effect", "message"}, {"text", request.prompt}, {"icon", iconName(request.buttons)}});
    return answer;
  }
  std::string inputBox(const ui::InputBoxRequest& request) override { return request.defaultText; }
  void runModal(const ui::PictureWindow& window) override {
    ui::raiseNoDisplay(ui::windowDescription(window.title), "the client runs headless");
  }

 private:
  EffectWriter& effects_;
};

// The browser as the events describe it, and the window around it.
class HeadlessHost final : public BrowserHost {
 public:
  explicit HeadlessHost(EffectWriter& effects) : effects_(effects) {}

  std::string url;
  std::string name;
  std::optional<std::string> value;
  std::optional<std::string> defaultValue;
  bool quitRequested = false;

  std::string locationURL() override { return url; }
  std::string locationName() override { return name; }
  bool busy() override { return false; }
  std::string activeValue() override { return read(value); }
  std::string activeDefaultValue() override { return read(defaultValue); }
  void navigate(const std::string& to) override {
    effects_.emit({{"effect", "navigate"}, {"url", to}});
  }
  void browserCommand(BrowserCommand) override {}

  void setTitle(const std::string& text) override {
    effects_.emit({{"effect", "title"}, {"text", text}});
  }
  void setTimer(Timer timer, bool on) override {
    timers_[static_cast<size_t>(timer)] = on;
    effects_.emit({{"effect", "timer"}, {"name", timerName(timer)}, {"on", on}});
  }
  bool timerOn(Timer timer) override { return timers_[static_cast<size_t>(timer)]; }

  std::string addressText() override { return addressText_; }
  void setAddressText(const std::string& text) override { addressText_ = text; }
  int addressCount() override { return static_cast<int>(entries_.size()); }
  std::string addressAt(int index) override { return entries_.at(static_cast<size_t>(index)); }
  void addAddress(const std::string& text) override { entries_.push_back(text); }
  void insertAddress(int index, const std::string& text) override {
    entries_.insert(entries_.begin() + index, text);
  }
  void removeAddress(int index) override { entries_.erase(entries_.begin() + index); }
  void selectAddress(int index) override { addressText_ = entries_.at(static_cast<size_t>(index)); }
  void addressHistoryChanged() override {
    effects_.emit({{"effect", "history"}, {"entries", entries_}});
  }

  void shellRun(const std::string& command) override {
    effects_.emit({{"effect", "run"}, {"command", command}});
  }
  void quit() override {
    if (quitRequested) return;
    quitRequested = true;
    effects_.emit({{"effect", "quit"}});
  }

  void fileWritten(const std::string& path) override {
    std::string hash;
    try {
      hash = codec::sha256Hex(readWholeFile(winpath::toNative(path)));
    } catch (const AutomationError&) {
      // Reported without a hash when the file cannot be read back.
    }
    effects_.emit({{"effect", "write"}, {"path", path}, {"sha256", hash}});
  }
  void fileDeleted(const std::string& path) override {
    effects_.emit({{"effect", "delete"}, {"path", path}});
  }

 private:
  static std::string read(const std::optional<std::string>& v) {
    if (!v) throw AutomationError(91, "", "Object variable or With block variable not set");
    return *v;
  }

  EffectWriter& effects_;
  std::array<bool, 3> timers_{};
  std::string addressText_;
  std::vector<std::string> entries_;
};

// A malformed event: the message names what is wrong.
struct BadEvent : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::string textField(const json& event, const char* key, bool required) {
  const auto it = event.find(key);
  if (it == event.end() || it->is_null()) {
    if (required) throw BadEvent(std::string("missing \"") + key + "\"");
    return {};
  }
  if (!it->is_string()) throw BadEvent(std::string("\"") + key + "\" must be a string");
  return it->get<std::string>();
}

// A text field that may be null or missing (no active element).
std::optional<std::string> optionalText(const json& event, const char* key) {
  const auto it = event.find(key);
  if (it == event.end() || it->is_null()) return std::nullopt;
  if (!it->is_string()) throw BadEvent(std::string("\"") + key + "\" must be a string or null");
  return it->get<std::string>();
}

std::string lastComponent(const std::string& url) {
  const size_t slash = url.find_last_of("/\\");
  return slash == std::string::npos ? url : url.substr(slash + 1);
}

constexpr int64_t kMaxTicks = 10'000'000;

// Runs one event; returns false once the program has ended.
bool dispatch(const json& event, Dispatcher& dispatcher, HeadlessHost& host) {
  if (!event.is_object()) throw BadEvent("an event must be a JSON object");
  const std::string kind = textField(event, "event", true);
  if (kind == "BeforeNavigate2") {
    dispatcher.onBeforeNavigate(textField(event, "url", true));
  } else if (kind == "NavigateComplete2") {
    host.url = textField(event, "url", true);
    host.name = event.contains("locationName") ? textField(event, "locationName", false)
                                               : lastComponent(host.url);
    dispatcher.onNavigateComplete();
  } else if (kind == "StatusTextChange") {
    host.value = optionalText(event, "activeValue");
    dispatcher.onStatusTextChange();
  } else if (kind == "CommandStateChange") {
    host.defaultValue = optionalText(event, "activeDefaultValue");
    if (event.contains("locationName")) host.name = textField(event, "locationName", false);
    dispatcher.onCommandStateChange();
  } else if (kind == "DownloadComplete") {
    dispatcher.onDownloadComplete();
  } else if (kind == "Tick") {
    const std::string name = textField(event, "timer", true);
    int64_t count = 1;
    if (const auto it = event.find("count"); it != event.end()) {
      if (!it->is_number_integer()) throw BadEvent("\"count\" must be an integer");
      count = it->get<int64_t>();
      if (count < 0 || count > kMaxTicks) throw BadEvent("\"count\" must be 0 to 10000000");
    }
    Timer timer;
    if (name == "TimeK") {
      timer = Timer::kExam;
    } else if (name == "timeHz") {
      timer = Timer::kTyping;
    } else if (name == "timTimer") {
      timer = Timer::kBusy;
    } else {
      throw BadEvent("unknown timer \"" + name + "\"");
    }
    for (int64_t i = 0; i < count && host.timerOn(timer) && !host.quitRequested; ++i) {
      switch (timer) {
        case Timer::kExam: dispatcher.onExamTick(); break;
        case Timer::kTyping: dispatcher.onTypingTick(); break;
        case Timer::kBusy: dispatcher.onBusyTick(); break;
      }
    }
  } else if (kind == "Close") {
    dispatcher.onClose();
    host.quit();
  } else {
    throw BadEvent("unknown event \"" + kind + "\"");
  }
  return !host.quitRequested;
}

}  // namespace

int runHeadless(const HeadlessOptions& options, std::istream& in, std::ostream& out,
                std::ostream& err) {
  std::ifstream file;
  std::istream* events = &in;
  if (options.eventsPath != "-") {
    std::error_code ec;
    if (!fs::is_regular_file(options.eventsPath, ec)) {
      err << "BqTestMy: cannot read the events file " << options.eventsPath << '\n';
      return 2;
    }
    file.open(options.eventsPath, std::ios::binary);
    if (!file) {
      err << "BqTestMy: cannot read the events file " << options.eventsPath << '\n';
      return 2;
    }
    events = &file;
  }

  EffectWriter effects(out);
  ui::ScopedBackend ui(std::make_shared<HeadlessUi>(effects));
  HeadlessHost host(effects);

  AppValues app;
  std::error_code ec;
  app.AppFolder = fs::absolute(options.appFolder, ec).lexically_normal().string();
  while (app.AppFolder.size() > 1 && app.AppFolder.back() == '/') app.AppFolder.pop_back();
  try {
    openExamConnection(app);
  } catch (const AutomationError& e) {
    // Start-up stops with the data provider's error; no window is shown.
    ui::MsgBox(e.description(), ui::vbCritical);
    return 1;
  }

  Dispatcher dispatcher(app, host);
  dispatcher.onLoad();

  std::string line;
  for (int64_t number = 1; std::getline(*events, line); ++number) {
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    try {
      if (!dispatch(json::parse(line), dispatcher, host)) return 0;
    } catch (const json::exception& e) {
      err << "BqTestMy: events line " << number << ": not JSON: " << e.what() << '\n';
      return 2;
    } catch (const BadEvent& e) {
      err << "BqTestMy: events line " << number << ": " << e.what() << '\n';
      return 2;
    }
  }
  return 0;
}

}  // namespace bq::client
