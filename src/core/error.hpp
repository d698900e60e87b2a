// The run-time error of the product's automation runtime, and the one helper that
// runs a step and keeps going when that step raises it.
//
// Every platform member and every routine may raise RuntimeError. Routines that
// "ignore errors and run the next step" wrap each step in ErrorTrap::Run, so the
// trap boundaries in the code are exactly the ones the routine documents. Nothing
// but RuntimeError is swallowed: std::bad_alloc and logic bugs always propagate.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

namespace tbln {

// Error numbers of the runtime that callers and messages rely on.
namespace err {
inline constexpr std::int32_t kInvalidCall = 5;        // "Invalid procedure call or argument"
inline constexpr std::int32_t kOverflow = 6;           // "Overflow"
inline constexpr std::int32_t kSubscript = 9;          // "Subscript out of range"
inline constexpr std::int32_t kTypeMismatch = 13;      // "Type mismatch"
inline constexpr std::int32_t kFileNotFound = 53;      // "File not found"
inline constexpr std::int32_t kPermissionDenied = 70;  // "Permission denied"
inline constexpr std::int32_t kFileAccess = 75;        // "Path/File access error"
inline constexpr std::int32_t kPathNotFound = 76;      // "Path not found"
inline constexpr std::int32_t kObjectUnloaded = 364;   // "Object was unloaded"
inline constexpr std::int32_t kObjectNotSet =
    91;  // "Object variable or With block variable not set"
inline constexpr std::int32_t kCannotCreate = 429;  // "ActiveX component can't create object"
inline constexpr std::int32_t kNoSuchMember =
    438;  // "Object doesn't support this property or method"
inline constexpr std::int32_t kAutomation = 440;  // "Automation error"
inline constexpr std::int32_t kDuplicateKey =
    457;  // "This key is already associated with an element of this collection"
inline constexpr std::int32_t kApplicationDefined = 1004;  // what Excel raises for a failed member
}  // namespace err

// The standard description of a runtime error number ("Overflow" for 6, ...).
std::string StandardDescription(std::int32_t number);

class RuntimeError : public std::runtime_error {
  public:
    RuntimeError(std::int32_t number, std::string description);
    explicit RuntimeError(std::int32_t number);

    std::int32_t Number() const noexcept { return number_; }
    const std::string& Description() const noexcept { return description_; }

  private:
    std::int32_t number_;
    std::string description_;
};

[[noreturn]] void Raise(std::int32_t number);
[[noreturn]] void Raise(std::int32_t number, std::string description);

// "On error, go on with the next step": Run executes a step and records a
// RuntimeError it raises as the pending error (the last one wins, as with the
// runtime's own error object). Number() is 0 while no error is pending.
class ErrorTrap {
  public:
    template <class Step>
    void Run(Step&& step) {
        try {
            std::forward<Step>(step)();
        } catch (const RuntimeError& e) {
            number_ = e.Number();
            description_ = e.Description();
        }
    }

    std::int32_t Number() const noexcept { return number_; }
    const std::string& Description() const noexcept { return description_; }
    void Clear() noexcept {
        number_ = 0;
        description_.clear();
    }

  private:
    std::int32_t number_ = 0;
    std::string description_;
};

}  // namespace tbln
