// The one error type that crosses a class boundary of the libraries.
//
// A failed automation call carries three things: the error number (a run-time
// error number such as 6 or 53, or an HRESULT-style number written as a
// signed 32-bit value), the source (the library or class that raised it) and
// the description text. Callers compare numbers, show descriptions, and never
// parse either.
//
// Thread safety: immutable value; safe to copy across threads.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

namespace bq {

class AutomationError : public std::runtime_error {
 public:
  AutomationError(int32_t number, std::string source, std::string description);

  int32_t number() const { return number_; }
  const std::string& source() const { return source_; }
  const std::string& description() const { return description_; }

  // The same error with the source filled in, when it has none yet. The class
  // faces use this so that errors raised deep inside carry the library's name.
  AutomationError withDefaultSource(const std::string& source) const;

 private:
  int32_t number_;
  std::string source_;
  std::string description_;
};

// Runs `body` and returns what it returns; an AutomationError that leaves it
// without a source gets `source`. The class faces wrap every method in it, so
// that errors raised deep inside carry the library's name.
template <typename F>
decltype(auto) withErrorSource(const char* source, F&& body) {
  try {
    return std::forward<F>(body)();
  } catch (const AutomationError& e) {
    throw e.withDefaultSource(source);
  }
}

// Runs one guarded step: an AutomationError (and nothing else) that leaves
// `body` ends the step only. True when the step ran to its end; the error,
// when `failure` is given, goes there.
template <typename F>
bool guarded(F&& body, AutomationError* failure = nullptr) {
  try {
    std::forward<F>(body)();
    return true;
  } catch (const AutomationError& e) {
    if (failure) *failure = e;
    return false;
  }
}

// Run-time error numbers of the original platform that the system raises.
namespace err {
inline constexpr int32_t kInvalidCall = 5;
inline constexpr int32_t kOverflow = 6;
inline constexpr int32_t kOutOfMemory = 7;
inline constexpr int32_t kSubscript = 9;
inline constexpr int32_t kDivisionByZero = 11;
inline constexpr int32_t kTypeMismatch = 13;
inline constexpr int32_t kBadFileNameOrNumber = 52;
inline constexpr int32_t kFileNotFound = 53;
inline constexpr int32_t kBadFileMode = 54;
inline constexpr int32_t kDeviceIO = 57;
inline constexpr int32_t kFileAlreadyExists = 58;
inline constexpr int32_t kDiskFull = 61;
inline constexpr int32_t kInputPastEnd = 62;
inline constexpr int32_t kPermissionDenied = 70;
inline constexpr int32_t kPathFileAccess = 75;
inline constexpr int32_t kPathNotFound = 76;
inline constexpr int32_t kObjectNotSet = 91;
inline constexpr int32_t kObjectRequired = 424;
inline constexpr int32_t kCantCreateObject = 429;
inline constexpr int32_t kNoSuchMember = 438;
inline constexpr int32_t kArgumentNotOptional = 449;
inline constexpr int32_t kWrongArgumentCount = 450;
inline constexpr int32_t kActionNotSupported = 445;
inline constexpr int32_t kKeyExists = 457;
}  // namespace err

// The platform's own description of run-time error `number` (for example
// "Overflow" for 6); "Application-defined or object-defined error" for numbers
// it does not name.
std::string runtimeErrorText(int32_t number);

// Throws the run-time error `number` with its own description.
[[noreturn]] void raiseError(int32_t number, std::string source = {});

// Throws the run-time error that the platform raises for a failed file or
// folder operation with POSIX `errno` value `errnum` (ENOENT gives 53 "File not
// found", EACCES 70 "Permission denied", ENOSPC 61 "Disk full", ...).
[[noreturn]] void raiseFileError(int errnum, std::string source = {});

// The run-time error number that raiseFileError uses for `errnum`.
int32_t fileErrorNumber(int errnum);

}  // namespace bq
