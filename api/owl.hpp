#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "records.hpp"

namespace owl {

// The application interface: the operations a user interface reaches through the bridge, one
// function id each. Every operation may be called from any thread, also concurrently; they share
// no state but the engine slot, the event slot and the unit registry, whose lock they hold only
// briefly and never across a wait. Expected failures come back as lists of user-facing texts;
// misuse (a call before start) and internal faults throw Panic, which the bridge answers as a
// panic response.

// Where the event stream goes: a user interface's port, or a queue in tests.
class EventSink {
 public:
  virtual ~EventSink() = default;
  // Called on the forwarding thread, one event at a time, in the order the pump passed them on.
  // False when the receiving side is gone for good; the stream then ends.
  virtual bool post(const UiEvent& event) = 0;
  // Ends the stream on the receiving side; called exactly once, on whichever thread lets go of
  // the sink.
  virtual void close() = 0;
};

// "0.1.0". Needs no engine.
std::string core_version();
// Always false: the engine has no optional features to report. Needs no engine.
bool build_features();

// Creates the engine once per process; later calls do nothing, whatever their mode. Throws Panic
// when a thread cannot be started (the engine then stays unstarted and a later call tries again).
// Concurrent first calls wait for the one that creates it.
void start(bool simulator);

// The announced units, sorted by key in byte order, with what each has reported so far
// (settings_json is empty until the unit reported settings). Throws Panic before start, and
// Panic("unit registry lock poisoned") once an internal fault has left the registry untrusted.
std::vector<UnitInfo> units();
// Asks the unit's worker to request its settings at its next pass; the answer arrives as a
// Settings event. An unknown key does nothing. Throws Panic before start.
void refresh_unit(const std::string& key);
// Hands the engine's one event stream to sink: a forwarding thread posts every event to it until
// post returns false, then closes it. The stream exists once per process and only after start:
// any other call closes its sink at once. Throws Panic("failed to spawn thread") when the thread
// cannot start; the sink has then been closed and the stream is gone.
void event_stream(std::unique_ptr<EventSink> sink);
// The option names each enumerated field accepts, in code order. Needs no engine.
EnumOptions enum_options();
// A complete form that depends on no unit. Needs no engine.
UiSettings example_settings();
// Adds a simulated unit under id (replacing one with that id), served by its own device worker;
// its settings, identity and Announced arrive as events. Does nothing unless the engine runs in
// simulator mode. Throws Panic when its thread cannot be started.
void sim_add_unit(const std::string& id, std::uint32_t serial, std::uint32_t band_low_khz,
                  std::uint32_t band_high_khz, std::uint32_t channels);
// Stops the simulated unit with this id (its Stopped event follows); an unknown id does nothing.
void sim_remove_unit(const std::string& id);

// The problems a write of form to this unit would meet now, as user-facing texts, without
// writing. Empty means no problem was found, which includes a unit that is not connected or has
// not reported its settings yet: only a write decides those. Throws Panic before start.
[[nodiscard]] std::vector<std::string> check_settings(const std::string& key,
                                                      const UiSettings& form);
// Writes form to one unit; serial, frequency range and RF mode stay the unit's own, and so do the
// name and the charge mode when asked. Empty means the write was handed to the unit's worker: its
// outcome arrives later as a WriteResult event. Otherwise nothing was sent, and the texts say why
// (not connected, no settings yet, still confirming the previous write, a field that does not
// parse, or the validation problems). Throws Panic before start.
[[nodiscard]] std::vector<std::string> write_settings(const std::string& key,
                                                      const UiSettings& form, bool keep_name,
                                                      bool keep_charge);
// Writes form to every connected unit, each keeping its own name: all or nothing. Empty means
// every unit took the write (one WriteResult event each follows). Otherwise nothing was sent to
// any unit, and there is one report per unit that refused; a report with an empty key means the
// form itself could not be used (no unit has reported settings, or a field does not parse).
// Throws Panic before start.
[[nodiscard]] std::vector<UnitWriteReport> write_all_settings(const UiSettings& form,
                                                              bool keep_charge);

}  // namespace owl
