#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "records.hpp"

namespace owl {

// Where the event stream goes: a user interface's port, or a queue in tests.
class EventSink {
 public:
  virtual ~EventSink() = default;
  // False when the receiving side is gone for good.
  virtual bool post(const UiEvent& event) = 0;
  // Ends the stream on the receiving side; called once.
  virtual void close() = 0;
};

std::string core_version();
bool build_features();

// Creates the engine once per process; later calls do nothing. Throws Panic when a thread cannot
// be started (the engine then stays unstarted and a later call tries again).
void start(bool simulator);

std::vector<UnitInfo> units();
void refresh_unit(const std::string& key);
void event_stream(std::unique_ptr<EventSink> sink);
EnumOptions enum_options();
UiSettings example_settings();
void sim_add_unit(const std::string& id, std::uint32_t serial, std::uint32_t band_low_khz,
                  std::uint32_t band_high_khz, std::uint32_t channels);
void sim_remove_unit(const std::string& id);

std::vector<std::string> check_settings(const std::string& key, const UiSettings& form);
std::vector<std::string> write_settings(const std::string& key, const UiSettings& form,
                                        bool keep_name, bool keep_charge);
std::vector<UnitWriteReport> write_all_settings(const UiSettings& form, bool keep_charge);

}  // namespace owl
