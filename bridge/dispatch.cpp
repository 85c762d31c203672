#include "dispatch.hpp"

#include <functional>
#include <string>

#include "error.hpp"
#include "fault.hpp"
#include "owl.hpp"
#include "platform/system_log.hpp"
#include "post.hpp"
#include "wire.hpp"
#include "worker_pool.hpp"

namespace owl::bridge {

namespace {

using Job = std::function<std::vector<std::uint8_t>()>;

// Runs an operation, turning any failure into a panic response: nothing escapes to the caller.
std::vector<std::uint8_t> guarded(const Job& job) {
  try {
    return job();
  } catch (const std::exception& e) {
    return wire::panic_bytes(e.what());
  } catch (...) {
    return wire::panic_bytes("unknown failure");
  }
}

// Failures the engine survived on its own threads go where the bridge's records go.
void log_engine_fault(std::string_view where, std::string_view what) {
  log_record(LogLevel::Error, where, what);
}

// Posts the stream's items to the UI's stream port.
class PortSink final : public EventSink {
 public:
  explicit PortSink(std::int64_t port) : port_(port) {}
  bool post(const UiEvent& event) override {
    return post_message(port_, wire::success_bytes(event));
  }
  void close() override { post_message(port_, wire::close_stream_bytes()); }

 private:
  std::int64_t port_;
};

UiSettings read_settings(wire::Reader& r) {
  UiSettings form;
  wire::read(r, form);
  return form;
}

// A job for an operation that answers with success and no value.
template <class F>
Job acknowledged(F operation) {
  return [operation = std::move(operation)] {
    operation();
    return wire::success_bytes();
  };
}

// Decodes the arguments of an asynchronous operation and returns the job that runs it; the caller
// checks that no argument bytes are left over.
Job decode_async(std::int32_t func_id, wire::Reader& r) {
  switch (func_id) {
    case wire::CHECK_SETTINGS: {
      std::string key = r.text();
      UiSettings form = read_settings(r);
      return [key = std::move(key), form = std::move(form)] {
        return wire::success_bytes(check_settings(key, form));
      };
    }
    case wire::EVENT_STREAM: {
      const std::int64_t stream_port = wire::parse_stream_port(r.text());
      return acknowledged([stream_port] { event_stream(std::make_unique<PortSink>(stream_port)); });
    }
    case wire::INITIALIZE:
      return acknowledged([] {
        install_system_log();
        set_fault_sink(&log_engine_fault);
      });
    case wire::REFRESH_UNIT:
      return acknowledged([key = r.text()] { refresh_unit(key); });
    case wire::SIM_ADD_UNIT: {
      std::string id = r.text();
      const std::uint32_t serial = r.u32();
      const std::uint32_t low = r.u32();
      const std::uint32_t high = r.u32();
      const std::uint32_t channels = r.u32();
      return acknowledged([id = std::move(id), serial, low, high, channels] {
        sim_add_unit(id, serial, low, high, channels);
      });
    }
    case wire::SIM_REMOVE_UNIT:
      return acknowledged([id = r.text()] { sim_remove_unit(id); });
    case wire::START:
      return acknowledged([simulator = r.boolean()] { start(simulator); });
    case wire::UNITS:
      return [] { return wire::success_bytes(units()); };
    case wire::WRITE_ALL_SETTINGS: {
      UiSettings form = read_settings(r);
      const bool keep_charge = r.boolean();
      return [form = std::move(form), keep_charge] {
        return wire::success_bytes(write_all_settings(form, keep_charge));
      };
    }
    case wire::WRITE_SETTINGS: {
      std::string key = r.text();
      UiSettings form = read_settings(r);
      const bool keep_name = r.boolean();
      const bool keep_charge = r.boolean();
      return [key = std::move(key), form = std::move(form), keep_name, keep_charge] {
        return wire::success_bytes(write_settings(key, form, keep_name, keep_charge));
      };
    }
    default:
      // A caller's mistake must not take the application down: answer it as a failed call.
      throw Panic("no asynchronous operation has function id " + std::to_string(func_id));
  }
}

}  // namespace

void dispatch_async(std::int32_t func_id, std::int64_t port, std::span<const std::uint8_t> args) {
  Job job;
  try {
    wire::Reader reader(args);
    job = decode_async(func_id, reader);
    reader.finish();
  } catch (const std::exception& e) {
    post_message(port, wire::panic_bytes(e.what()));
    return;
  }
  try {
    execute_on_pool([job = std::move(job), port] { post_message(port, guarded(job)); });
  } catch (const std::exception& e) {
    post_message(port, wire::panic_bytes(e.what()));
  }
}

std::vector<std::uint8_t> dispatch_sync(std::int32_t func_id, std::span<const std::uint8_t> args) {
  return guarded([&]() -> std::vector<std::uint8_t> {
    wire::Reader reader(args);
    reader.finish();  // no synchronous operation takes arguments
    switch (func_id) {
      case wire::BUILD_FEATURES:
        return wire::success_bytes(build_features());
      case wire::CORE_VERSION:
        return wire::success_bytes(core_version());
      case wire::ENUM_OPTIONS:
        return wire::success_bytes(enum_options());
      case wire::EXAMPLE_SETTINGS:
        return wire::success_bytes(example_settings());
      default:
        throw Panic("no synchronous operation has function id " + std::to_string(func_id));
    }
  });
}

}  // namespace owl::bridge
