#include "tools/bqcall/json_args.h"

#include <cmath>
#include <limits>

namespace bqcall {
namespace {

[[noreturn]] void wrongForm(const Param& param, const std::string& expected) {
  throw UsageError("parameter " + param.name + " expects " + expected);
}

const json& argument(const Call& call, size_t i) {
  static const json kNull;
  return i < call.args.size() ? call.args[i] : kNull;
}

}  // namespace

json fromCommandLine(const std::string& text, const Param& param) {
  if (param.kind == Kind::kText || param.kind == Kind::kPicture) return text;
  try {
    return json::parse(text);
  } catch (const json::parse_error&) {
    switch (param.kind) {
      case Kind::kBool: wrongForm(param, "true or false");
      case Kind::kNumber: wrongForm(param, "a decimal number");
      default: wrongForm(param, "a JSON value, not: " + text);
    }
  }
}

std::string toText(const Call& call, size_t i, const Param& param) {
  const json& v = argument(call, i);
  if (v.is_null()) return {};
  if (!v.is_string()) wrongForm(param, "a text (JSON string)");
  return v.get<std::string>();
}

bool toBool(const Call& call, size_t i, const Param& param) {
  const json& v = argument(call, i);
  if (v.is_null()) return false;
  if (!v.is_boolean()) wrongForm(param, "true or false");
  return v.get<bool>();
}

double toNumber(const Call& call, size_t i, const Param& param) {
  const json& v = argument(call, i);
  if (v.is_null()) return 0;
  if (!v.is_number()) wrongForm(param, "a decimal number");
  return v.get<double>();
}

std::vector<std::string> toTextArray(const Call& call, size_t i, const Param& param) {
  return toOptionalTextArray(call, i, param).value_or(std::vector<std::string>{});
}

std::optional<std::vector<std::string>> toOptionalTextArray(const Call& call, size_t i,
                                                            const Param& param) {
  const json& v = argument(call, i);
  if (v.is_null()) return std::nullopt;
  if (!v.is_array()) wrongForm(param, "a JSON array of texts");
  std::vector<std::string> texts;
  for (const json& t : v) {
    if (!t.is_string()) wrongForm(param, "a JSON array of texts");
    texts.push_back(t.get<std::string>());
  }
  return texts;
}

json toJson(const std::vector<std::string>& texts) { return json(texts); }

PictureArgument toPicture(const Call& call, size_t i, const Param& param) {
  PictureArgument p;
  p.given = argument(call, i);
  if (p.given == "record") {
    auto canvas = std::make_unique<bq::ui::RecordingProgressCanvas>();
    p.recording = canvas.get();
    p.canvas = std::move(canvas);
  } else if (p.given == "console") {
    p.canvas = std::make_unique<bq::ui::ConsoleProgressCanvas>(param.name);
  }
  return p;
}

json PictureArgument::after() const {
  if (!recording) return given;
  json shown = json::array();
  for (const auto& e : recording->events()) {
    if (e.kind == bq::ui::RecordingProgressCanvas::Event::Kind::kVisible)
      shown.push_back({{"visible", e.visible}});
    else
      shown.push_back({{"text", e.text}, {"bar", e.bar}});
  }
  return shown;
}

bq::KnowledgeSet toKnowledgeSet(const Call& call, size_t i, const Param& param) {
  const json& v = argument(call, i);
  bq::KnowledgeSet d;
  if (v.is_null()) return d;
  if (v.is_array()) {
    for (const json& key : v) {
      if (!key.is_string()) wrongForm(param, "an array of texts");
      d.set(key.get<std::string>(), 1);
    }
    return d;
  }
  if (!v.is_object()) wrongForm(param, "a JSON object or an array of keys");
  for (const auto& [key, item] : v.items()) {
    if (!item.is_number_integer() || item.get<int64_t>() < std::numeric_limits<int16_t>::min() ||
        item.get<int64_t>() > std::numeric_limits<int16_t>::max())
      wrongForm(param, "16-bit integer items");
    d.set(key, static_cast<int16_t>(item.get<int64_t>()));
  }
  return d;
}

json toJson(const bq::KnowledgeSet& d) {
  json out = json::object();
  for (const auto& [key, item] : d) out[key] = item;
  return out;
}

bq::MailDictionary toMailDictionary(const Call& call, size_t i, const Param& param) {
  const json& v = argument(call, i);
  bq::MailDictionary d;
  if (v.is_null()) return d;
  if (v.is_array()) {
    for (const json& key : v) {
      if (!key.is_string()) wrongForm(param, "an array of texts");
      d.set(key.get<std::string>(), {});
    }
    return d;
  }
  if (!v.is_object()) wrongForm(param, "a JSON object or an array of keys");
  for (const auto& [key, item] : v.items()) {
    bq::MailFieldList list;
    if (!item.is_array()) wrongForm(param, "arrays of texts as items");
    for (const json& f : item) {
      if (!f.is_string()) wrongForm(param, "arrays of texts as items");
      list.push_back(f.get<std::string>());
    }
    d.set(key, std::move(list));
  }
  return d;
}

json toJson(const bq::MailDictionary& d) {
  json out = json::object();
  for (const auto& [key, list] : d) out[key] = list;
  return out;
}

OpenRecordset toRecordset(const Call& call, size_t i, const Param& param) {
  const json& v = argument(call, i);
  if (!v.is_object() || !v.contains("connection") || !v["connection"].is_string() ||
      !v.contains("source") || !v["source"].is_string())
    wrongForm(param, R"({"connection": CONNECTION-STRING, "source": SQL})");
  OpenRecordset r;
  r.connection.Open(v["connection"].get<std::string>());
  r.recordset.Open(v["source"].get<std::string>(), r.connection, bq::db::adOpenForwardOnly,
                   bq::db::adLockReadOnly);
  return r;
}

}  // namespace bqcall
