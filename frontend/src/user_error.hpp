#pragma once

#include <stdexcept>
#include <string>

// A failure caused by what the user gave (a command line, a file): it ends the operation with a
// message for the user. owlctl turns the status into its exit status; the desktop shows the text.
namespace owl::frontend {

// The statuses a UserError carries; owlctl exits with them, so they never change meaning.
inline constexpr int STATUS_FAILED = 1;
inline constexpr int STATUS_USAGE = 2;

class UserError : public std::runtime_error {
 public:
  UserError(int status, const std::string& message)
      : std::runtime_error(message), status_(status) {}
  int status() const { return status_; }

 private:
  int status_;
};

inline UserError usage_error(const std::string& message) {
  return {STATUS_USAGE, message};
}
inline UserError failure(const std::string& message) {
  return {STATUS_FAILED, message};
}

}  // namespace owl::frontend
