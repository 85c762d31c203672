#pragma once

#include <stdexcept>
#include <string>

namespace owl {

// Misuse of the engine or an internal fault. The bridge catches it per call and answers with a
// panic response carrying what(); expected failures never use it.
class Panic : public std::runtime_error {
 public:
  explicit Panic(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace owl
