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
  // Looks the exports up and runs the start-up handshake once per process; safe to call from any
  // thread. Throws std::runtime_error when the engine library is not in the process or is another
  // version of the interface (its content hash differs).
  static Client& instance();

  // Synchronous operations: answered on the calling thread, from any thread, without a started
  // engine. Throw EnginePanic when the engine answers with a panic.
  bool build_features();
  std::string core_version();
  EnumOptions enum_options();
  UiSettings example_settings();

  // Asynchronous operations, callable from any thread: each returns at once, and its callback runs
  // exactly once with the value or the engine's panic text, on an engine thread (arguments the
  // engine cannot decode are refused on the calling thread, before the call returns). The
  // callback must not block on another call of this client (the blocking forms below), as it
  // holds one of the engine's pool threads. Answers of different calls come in any order.
  //
  // First initialize (the engine's system log and fault sink), then start; units, refresh_unit
  // and the check and write calls answer with a panic until start has answered.
  void initialize(Callback<Nothing> done);
  // Once per process; later calls succeed without changing the mode.
  void start(bool simulator, Callback<Nothing> done);
  // The announced units, sorted by key.
  void units(Callback<std::vector<UnitInfo>> done);
  // Asks the unit to report its settings again; an unknown key is not a failure.
  void refresh_unit(const std::string& key, Callback<Nothing> done);
  // Adds or replaces a simulated unit (simulator mode only; otherwise nothing happens).
  void sim_add_unit(const std::string& id, std::uint32_t serial, std::uint32_t band_low_khz,
                    std::uint32_t band_high_khz, std::uint32_t channels, Callback<Nothing> done);
  // Stops the simulated unit (its Stopped event follows); an unknown id is not a failure.
  void sim_remove_unit(const std::string& id, Callback<Nothing> done);
  // The problems a write of form would meet now. An empty list means none were found, also for a
  // unit that is not connected or has not reported its settings: only a write decides those.
  void check_settings(const std::string& key, const UiSettings& form,
                      Callback<std::vector<std::string>> done);
  // An empty list means the write was handed to the unit; its outcome arrives later as a
  // WriteResult event. Otherwise nothing was sent and the texts say why.
  void write_settings(const std::string& key, const UiSettings& form, bool keep_name,
                      bool keep_charge, Callback<std::vector<std::string>> done);
  // All or nothing: an empty list means every unit took the write; otherwise nothing was sent and
  // each report names a unit that refused (an empty key: the form itself could not be used).
  void write_all_settings(const UiSettings& form, bool keep_charge,
                          Callback<std::vector<UnitWriteReport>> done);
  // Subscribes to the engine's events: on_event for each item and then on_close once, both on the
  // engine's forwarding thread, in order; done once the engine has taken the subscription. The
  // stream exists once per process and only after start: another subscription gets on_close at
  // once. An item that does not decode is skipped.
  void event_stream(std::function<void(UiEvent)> on_event, std::function<void()> on_close,
                    Callback<Nothing> done);

  // Blocking forms for scripts and tests: the value, or EnginePanic. They wait for the engine's
  // answer, so they must not be called from a callback of this client.
  void initialize_wait();
  void start_wait(bool simulator);
  std::vector<UnitInfo> units_wait();
  void refresh_unit_wait(const std::string& key);
  void sim_add_unit_wait(const std::string& id, std::uint32_t serial, std::uint32_t band_low_khz,
                         std::uint32_t band_high_khz, std::uint32_t channels);
  void sim_remove_unit_wait(const std::string& id);
  [[nodiscard]] std::vector<std::string> check_settings_wait(const std::string& key,
                                                             const UiSettings& form);
  [[nodiscard]] std::vector<std::string> write_settings_wait(const std::string& key,
                                                             const UiSettings& form, bool keep_name,
                                                             bool keep_charge);
  [[nodiscard]] std::vector<UnitWriteReport> write_all_settings_wait(const UiSettings& form,
                                                                     bool keep_charge);

  // The delivery function this client handed the engine. A tool that stands between the engine
  // and this runtime (the soak run counts posts and finaliser calls) stores a wrapper around it.
  static Dart_PostCObjectFn post_function();

  struct Exports;

 private:
  Client();
  std::unique_ptr<Exports> exports_;
};

}  // namespace owl::client
