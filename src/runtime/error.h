// Run-time errors: one exception type with the number, description and
// source every caller may inspect or pass on.
#pragma once
#include <stdexcept>
#include <string>

namespace runtime {

class RuntimeError : public std::runtime_error {
 public:
  RuntimeError(int number, std::string description, std::string source = {})
      : std::runtime_error(description), Number(number), Description(std::move(description)),
        Source(std::move(source)) {}

  int Number;
  std::string Description;
  std::string Source;
};

// Numbers of the run-time's own errors.
inline constexpr int kErrOverflow = 6;
inline constexpr int kErrSubscript = 9;
inline constexpr int kErrDivisionByZero = 11;
inline constexpr int kErrTypeMismatch = 13;
inline constexpr int kErrFileNotFound = 53;
inline constexpr int kErrPermissionDenied = 70;
inline constexpr int kErrPathFileAccess = 75;
inline constexpr int kErrPathNotFound = 76;
inline constexpr int kErrDeviceIO = 57;
inline constexpr int kErrObjectNotSet = 91;
inline constexpr int kErrInvalidPropertyValue = 380;
inline constexpr int kErrInvalidPicture = 481;
inline constexpr int kErrPrinter = 482;

[[noreturn]] inline void Raise(int number, std::string description, std::string source = {}) {
  throw RuntimeError(number, std::move(description), std::move(source));
}

}  // namespace runtime
