#include "owl_client.hpp"

#include <dlfcn.h>

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>

#include "dart_api.h"
#include "wire.hpp"

namespace owl::client {

struct Client::Exports {
  std::int32_t (*content_hash)() = nullptr;
  void (*store_post)(Dart_PostCObjectFn) = nullptr;
  intptr_t (*init_api)(void*) = nullptr;
  void (*(*shutdown_callback)())(void*) = nullptr;
  void (*primary)(std::int32_t, std::int64_t, std::uint8_t*, std::int32_t, std::int32_t) = nullptr;
  WireSyncRust2DartSse (*sync)(std::int32_t, std::uint8_t*, std::int32_t, std::int32_t) = nullptr;
  std::uint8_t* (*vec_new)(std::int32_t) = nullptr;
  void (*free_sync)(WireSyncRust2DartSse) = nullptr;
};

namespace {

using Bytes = std::vector<std::uint8_t>;
using Handler = std::function<void(const Bytes&)>;

// The ports this process listens on, as the UI runtime keeps them.
struct Ports {
  std::mutex mutex;
  std::map<std::int64_t, std::pair<Handler, bool>> handlers;  // handler, keeps listening
  std::atomic<std::int64_t> next{1};
};

Ports& ports() {
  // Never destroyed: engine threads may still post while the process exits.
  static Ports* const instance = new Ports;
  return *instance;
}

std::int64_t open_port(Handler handler, bool keep) {
  const std::int64_t port = ports().next.fetch_add(1);
  const std::lock_guard<std::mutex> lock(ports().mutex);
  ports().handlers.emplace(port, std::make_pair(std::move(handler), keep));
  return port;
}

void close_port(std::int64_t port) {
  const std::lock_guard<std::mutex> lock(ports().mutex);
  ports().handlers.erase(port);
}

// Called by the engine from any of its threads, like the VM's post function.
bool post(Dart_Port port, Dart_CObject* message) {
  Handler handler;
  {
    const std::lock_guard<std::mutex> lock(ports().mutex);
    auto it = ports().handlers.find(port);
    if (it == ports().handlers.end()) return false;
    handler = it->second.first;
    // A call's reply port takes one message and closes.
    if (!it->second.second) ports().handlers.erase(it);
  }
  Bytes bytes;
  if (message->type == Dart_CObject_kExternalTypedData) {
    auto& data = message->value.as_external_typed_data;
    bytes.assign(data.data, data.data + data.length);
    data.callback(nullptr, data.peer);
  } else if (message->type == Dart_CObject_kTypedData) {
    auto& data = message->value.as_typed_data;
    bytes.assign(data.values, data.values + data.length);
  }
  handler(bytes);
  return true;
}

template <class F>
F find(const char* name) {
  void* symbol = dlsym(RTLD_DEFAULT, name);
  if (symbol == nullptr) {
    throw std::runtime_error(std::string("the engine library does not export ") + name);
  }
  return reinterpret_cast<F>(symbol);
}

template <class T>
T decode_value(wire::Reader& r) {
  if constexpr (std::is_same_v<T, Nothing>) {
    return Nothing{};
  } else if constexpr (std::is_same_v<T, bool>) {
    return r.boolean();
  } else {
    T value;
    wire::read(r, value);
    return value;
  }
}

// A response envelope as a result: the decoded value, or the panic text.
template <class T>
Result<T> decode_response(const Bytes& bytes) {
  try {
    wire::Reader r(bytes);
    switch (static_cast<wire::Action>(r.u8())) {
      case wire::Action::Success: {
        T value = decode_value<T>(r);
        r.finish();
        return value;
      }
      case wire::Action::Panic:
        return Unexpected{r.text()};
      default:
        return Unexpected{std::string("unexpected response from the engine")};
    }
  } catch (const wire::DecodeError& e) {
    return Unexpected{std::string("malformed response from the engine: ") + e.what()};
  }
}

template <class T>
T value_or_throw(Result<T> result) {
  if (!result) throw EnginePanic(result.error());
  return std::move(result.value());
}

template <class T>
std::pair<Callback<T>, std::future<Result<T>>> waiter() {
  auto promise = std::make_shared<std::promise<Result<T>>>();
  auto future = promise->get_future();
  return {[promise](Result<T> r) { promise->set_value(std::move(r)); }, std::move(future)};
}

}  // namespace

Client::Client() : exports_(std::make_unique<Exports>()) {
  Exports& e = *exports_;
  e.content_hash = find<decltype(e.content_hash)>("frb_get_rust_content_hash");
  e.store_post = find<decltype(e.store_post)>("store_dart_post_cobject");
  e.init_api = find<decltype(e.init_api)>("frb_init_frb_dart_api_dl");
  e.shutdown_callback = find<decltype(e.shutdown_callback)>("frb_create_shutdown_callback");
  e.primary = find<decltype(e.primary)>("frb_pde_ffi_dispatcher_primary");
  e.sync = find<decltype(e.sync)>("frb_pde_ffi_dispatcher_sync");
  e.vec_new = find<decltype(e.vec_new)>("frb_rust_vec_u8_new");
  e.free_sync = find<decltype(e.free_sync)>("frb_free_wire_sync_rust2dart_sse");
  if (e.content_hash() != wire::CONTENT_HASH) {
    throw std::runtime_error("the engine library is a different version of the interface");
  }
  e.store_post(&post);
  // We use no opaque objects, so an empty runtime table is enough.
  static const DartApiEntry no_functions[] = {{nullptr, nullptr}};
  static const DartApi api{2, 0, no_functions};
  e.init_api(const_cast<DartApi*>(&api));
  // The process exits without shutting the runtime down, so the callback is never run.
  e.shutdown_callback();
}

Dart_PostCObjectFn Client::post_function() {
  return &post;
}

Client& Client::instance() {
  static Client* const client = new Client;
  return *client;
}

namespace {

// Hands arguments to the engine in a buffer of its own allocator, as the UI runtime does.
std::pair<std::uint8_t*, std::int32_t> engine_buffer(Client::Exports& e, const Bytes& args) {
  const auto n = static_cast<std::int32_t>(args.size());
  std::uint8_t* p = e.vec_new(n);
  if (p == nullptr) throw std::bad_alloc();
  if (n > 0) std::memcpy(p, args.data(), args.size());
  return {p, n};
}

template <class T>
void call_async(Client::Exports& e, wire::FunctionId id, const Bytes& args, Callback<T> done) {
  const std::int64_t port =
      open_port([done = std::move(done)](const Bytes& b) { done(decode_response<T>(b)); }, false);
  auto [p, n] = engine_buffer(e, args);
  e.primary(id, port, p, n, n);
}

template <class T>
T call_sync(Client::Exports& e, wire::FunctionId id) {
  auto [p, n] = engine_buffer(e, {});
  WireSyncRust2DartSse response = e.sync(id, p, n, n);
  Bytes bytes(response.ptr, response.ptr + response.len);
  e.free_sync(response);
  return value_or_throw(decode_response<T>(bytes));
}

Bytes text_args(const std::string& text) {
  wire::Writer w;
  w.text(text);
  return w.take();
}

}  // namespace

bool Client::build_features() {
  return call_sync<bool>(*exports_, wire::BUILD_FEATURES);
}
std::string Client::core_version() {
  return call_sync<std::string>(*exports_, wire::CORE_VERSION);
}
EnumOptions Client::enum_options() {
  return call_sync<EnumOptions>(*exports_, wire::ENUM_OPTIONS);
}
UiSettings Client::example_settings() {
  return call_sync<UiSettings>(*exports_, wire::EXAMPLE_SETTINGS);
}

void Client::initialize(Callback<Nothing> done) {
  call_async(*exports_, wire::INITIALIZE, {}, std::move(done));
}

void Client::start(bool simulator, Callback<Nothing> done) {
  wire::Writer w;
  w.boolean(simulator);
  call_async(*exports_, wire::START, w.take(), std::move(done));
}

void Client::units(Callback<std::vector<UnitInfo>> done) {
  call_async(*exports_, wire::UNITS, {}, std::move(done));
}

void Client::refresh_unit(const std::string& key, Callback<Nothing> done) {
  call_async(*exports_, wire::REFRESH_UNIT, text_args(key), std::move(done));
}

void Client::sim_add_unit(const std::string& id, std::uint32_t serial, std::uint32_t band_low_khz,
                          std::uint32_t band_high_khz, std::uint32_t channels,
                          Callback<Nothing> done) {
  wire::Writer w;
  w.text(id);
  w.u32(serial);
  w.u32(band_low_khz);
  w.u32(band_high_khz);
  w.u32(channels);
  call_async(*exports_, wire::SIM_ADD_UNIT, w.take(), std::move(done));
}

void Client::sim_remove_unit(const std::string& id, Callback<Nothing> done) {
  call_async(*exports_, wire::SIM_REMOVE_UNIT, text_args(id), std::move(done));
}

void Client::check_settings(const std::string& key, const UiSettings& form,
                            Callback<std::vector<std::string>> done) {
  wire::Writer w;
  w.text(key);
  wire::write(w, form);
  call_async(*exports_, wire::CHECK_SETTINGS, w.take(), std::move(done));
}

void Client::write_settings(const std::string& key, const UiSettings& form, bool keep_name,
                            bool keep_charge, Callback<std::vector<std::string>> done) {
  wire::Writer w;
  w.text(key);
  wire::write(w, form);
  w.boolean(keep_name);
  w.boolean(keep_charge);
  call_async(*exports_, wire::WRITE_SETTINGS, w.take(), std::move(done));
}

void Client::write_all_settings(const UiSettings& form, bool keep_charge,
                                Callback<std::vector<UnitWriteReport>> done) {
  wire::Writer w;
  wire::write(w, form);
  w.boolean(keep_charge);
  call_async(*exports_, wire::WRITE_ALL_SETTINGS, w.take(), std::move(done));
}

void Client::event_stream(std::function<void(UiEvent)> on_event, std::function<void()> on_close,
                          Callback<Nothing> done) {
  auto stream_port = std::make_shared<std::int64_t>(0);
  *stream_port = open_port(
      [on_event = std::move(on_event), on_close = std::move(on_close),
       stream_port](const Bytes& b) {
        if (b.size() == 1 && b[0] == static_cast<std::uint8_t>(wire::Action::CloseStream)) {
          close_port(*stream_port);
          on_close();
          return;
        }
        Result<UiEvent> event = decode_response<UiEvent>(b);
        if (event) on_event(std::move(event.value()));
      },
      true);
  call_async(*exports_, wire::EVENT_STREAM, text_args(wire::stream_port_text(*stream_port)),
             std::move(done));
}

void Client::initialize_wait() {
  auto [done, future] = waiter<Nothing>();
  initialize(std::move(done));
  value_or_throw(future.get());
}

void Client::start_wait(bool simulator) {
  auto [done, future] = waiter<Nothing>();
  start(simulator, std::move(done));
  value_or_throw(future.get());
}

std::vector<UnitInfo> Client::units_wait() {
  auto [done, future] = waiter<std::vector<UnitInfo>>();
  units(std::move(done));
  return value_or_throw(future.get());
}

void Client::refresh_unit_wait(const std::string& key) {
  auto [done, future] = waiter<Nothing>();
  refresh_unit(key, std::move(done));
  value_or_throw(future.get());
}

void Client::sim_add_unit_wait(const std::string& id, std::uint32_t serial,
                               std::uint32_t band_low_khz, std::uint32_t band_high_khz,
                               std::uint32_t channels) {
  auto [done, future] = waiter<Nothing>();
  sim_add_unit(id, serial, band_low_khz, band_high_khz, channels, std::move(done));
  value_or_throw(future.get());
}

void Client::sim_remove_unit_wait(const std::string& id) {
  auto [done, future] = waiter<Nothing>();
  sim_remove_unit(id, std::move(done));
  value_or_throw(future.get());
}

std::vector<std::string> Client::check_settings_wait(const std::string& key,
                                                     const UiSettings& form) {
  auto [done, future] = waiter<std::vector<std::string>>();
  check_settings(key, form, std::move(done));
  return value_or_throw(future.get());
}

std::vector<std::string> Client::write_settings_wait(const std::string& key, const UiSettings& form,
                                                     bool keep_name, bool keep_charge) {
  auto [done, future] = waiter<std::vector<std::string>>();
  write_settings(key, form, keep_name, keep_charge, std::move(done));
  return value_or_throw(future.get());
}

std::vector<UnitWriteReport> Client::write_all_settings_wait(const UiSettings& form,
                                                             bool keep_charge) {
  auto [done, future] = waiter<std::vector<UnitWriteReport>>();
  write_all_settings(form, keep_charge, std::move(done));
  return value_or_throw(future.get());
}

}  // namespace owl::client
