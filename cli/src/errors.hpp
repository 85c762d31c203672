#pragma once

#include <stdexcept>
#include <string>

namespace owl::cli {

// Exit statuses of owlctl; scripts rely on them, so they never change meaning.
inline constexpr int EXIT_OK = 0;
inline constexpr int EXIT_FAILED = 1;
inline constexpr int EXIT_USAGE = 2;
inline constexpr int EXIT_NO_UNIT = 3;
// `diff` only: the two sides differ.
inline constexpr int EXIT_DIFFERENT = 1;

// A failure that ends the command with a message on standard error and the given status.
class CliError : public std::runtime_error {
 public:
  CliError(int status, const std::string& message) : std::runtime_error(message), status_(status) {}
  int status() const { return status_; }

 private:
  int status_;
};

inline CliError usage_error(const std::string& message) {
  return {EXIT_USAGE, message};
}
inline CliError failure(const std::string& message) {
  return {EXIT_FAILED, message};
}
inline CliError no_unit(const std::string& message) {
  return {EXIT_NO_UNIT, message};
}

}  // namespace owl::cli
