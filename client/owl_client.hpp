#pragma once

#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "dart_api.h"
#include "expected.hpp"
#include "records.hpp"

// The user-interface side of the engine's exported C functions, in C++: it finds the exports by
// name in the process, hands the engine its post function, and turns responses and stream
// messages into values, exceptions and callbacks. Our front ends reach the engine only this way.
namespace owl::client {

// A call that the engine answered with a panic response; what() is the engine's message.
class EnginePanic : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The result of an asynchronous call: the value, or the engine's panic text.
template <class T>
using Result = Expected<T, std::string>;
using Nothing = std::monostate;

template <class T>
using Callback = std::function<void(Result<T>)>;

class Client {
 public:
  // Looks the exports up and runs the start-up handshake once per process. Throws
  // std::runtime_error when the engine library is not in the process or is another version.
  static Client& instance();

  // Synchronous operations: answered on the calling thread.
  bool build_features();
  std::string core_version();
  EnumOptions enum_options();
  UiSettings example_settings();

  // Asynchronous operations: the callback runs on an engine thread, once.
  void initialize(Callback<Nothing> done);
  void start(bool simulator, Callback<Nothing> done);
  void units(Callback<std::vector<UnitInfo>> done);
  void refresh_unit(const std::string& key, Callback<Nothing> done);
  void sim_add_unit(const std::string& id, std::uint32_t serial, std::uint32_t band_low_khz,
                    std::uint32_t band_high_khz, std::uint32_t channels, Callback<Nothing> done);
  void sim_remove_unit(const std::string& id, Callback<Nothing> done);
  void check_settings(const std::string& key, const UiSettings& form,
                      Callback<std::vector<std::string>> done);
  void write_settings(const std::string& key, const UiSettings& form, bool keep_name,
                      bool keep_charge, Callback<std::vector<std::string>> done);
  void write_all_settings(const UiSettings& form, bool keep_charge,
                          Callback<std::vector<UnitWriteReport>> done);
  // Subscribes to the engine's events: on_event for each item, on_close once at the end.
  void event_stream(std::function<void(UiEvent)> on_event, std::function<void()> on_close,
                    Callback<Nothing> done);

  // Blocking forms for scripts and tests: the value, or EnginePanic.
  void initialize_wait();
  void start_wait(bool simulator);
  std::vector<UnitInfo> units_wait();
  void refresh_unit_wait(const std::string& key);
  void sim_add_unit_wait(const std::string& id, std::uint32_t serial, std::uint32_t band_low_khz,
                         std::uint32_t band_high_khz, std::uint32_t channels);
  void sim_remove_unit_wait(const std::string& id);
  std::vector<std::string> check_settings_wait(const std::string& key, const UiSettings& form);
  std::vector<std::string> write_settings_wait(const std::string& key, const UiSettings& form,
                                               bool keep_name, bool keep_charge);
  std::vector<UnitWriteReport> write_all_settings_wait(const UiSettings& form, bool keep_charge);

  // The delivery function this client handed the engine. A tool that stands between the engine
  // and this runtime (the soak run counts posts and finaliser calls) stores a wrapper around it.
  static Dart_PostCObjectFn post_function();

  struct Exports;

 private:
  Client();
  std::unique_ptr<Exports> exports_;
};

}  // namespace owl::client
