// Variant: an untyped value, used only where the original passes one (field
// values, optional arrays, lists of mixed values).
//
// Empty is the uninitialised value; Null the database null. Arrays are
// one-dimensional with lower bound 0. Dates are the original's day numbers
// (days since 30 December 1899, the fraction being the time of day).
//
// Thread safety: a value type; no sharing.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace bq {

struct Empty {
  friend bool operator==(Empty, Empty) { return true; }
};
struct Null {
  friend bool operator==(Null, Null) { return true; }
};
struct Date {
  double days = 0;
  friend bool operator==(Date a, Date b) { return a.days == b.days; }
};
// Currency: a 64-bit integer scaled by 10,000.
struct Currency {
  int64_t scaled = 0;
  friend bool operator==(Currency a, Currency b) { return a.scaled == b.scaled; }
};

using ByteArray = std::vector<uint8_t>;
class Variant;
using VariantArray = std::vector<Variant>;

class Variant {
 public:
  using Value = std::variant<Empty, Null, bool, uint8_t, int16_t, int32_t, float, double, Currency,
                             Date, std::string, ByteArray, VariantArray>;

  Variant() = default;
  template <typename T>
    requires std::is_constructible_v<Value, T&&> && (!std::is_same_v<std::decay_t<T>, Variant>)
  Variant(T&& v) : value_(std::forward<T>(v)) {}  // NOLINT: implicit, as the original's Variant
  Variant(const char* s) : value_(std::string(s)) {}  // NOLINT

  bool isEmpty() const { return std::holds_alternative<Empty>(value_); }
  bool isNull() const { return std::holds_alternative<Null>(value_); }
  bool isArray() const {
    return std::holds_alternative<VariantArray>(value_) || std::holds_alternative<ByteArray>(value_);
  }

  template <typename T>
  bool is() const {
    return std::holds_alternative<T>(value_);
  }
  template <typename T>
  const T& as() const {
    return std::get<T>(value_);
  }
  template <typename T>
  T& as() {
    return std::get<T>(value_);
  }

  const Value& value() const { return value_; }
  Value& value() { return value_; }

  friend bool operator==(const Variant& a, const Variant& b) { return a.value_ == b.value_; }

 private:
  Value value_;
};

}  // namespace bq
