#include "owl_client.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "exports.h"
#include "wire.hpp"

// The client against a stand-in engine defined here: it exports the functions the client looks
// up, and each test decides what it answers. Each case runs in its own process (ctest), since the
// client and the stand-in's post function are process-wide.
namespace {

using Bytes = std::vector<std::uint8_t>;

std::int32_t content_hash = owl::wire::CONTENT_HASH;
Dart_PostCObjectFn runtime_post = nullptr;
// Answers an asynchronous call: function id, reply port, arguments.
std::function<void(std::int32_t, std::int64_t, const Bytes&)> answer_async;
Bytes sync_answer;
std::int32_t sync_asked = -1;
bool refuse_buffers = false;

void free_peer(void*, void* peer) {
  delete static_cast<Bytes*>(peer);
}

// Posts as the engine does (external typed data), or as a copied typed-data message.
bool post(std::int64_t port, const Bytes& bytes, bool copied = false) {
  Dart_CObject message{};
  if (copied) {
    message.type = Dart_CObject_kTypedData;
    message.value.as_typed_data.type = Dart_TypedData_kUint8;
    message.value.as_typed_data.length = static_cast<intptr_t>(bytes.size());
    message.value.as_typed_data.values = bytes.data();
    return runtime_post(port, &message);
  }
  auto* held = new Bytes(bytes);
  message.type = Dart_CObject_kExternalTypedData;
  message.value.as_external_typed_data.type = Dart_TypedData_kUint8;
  message.value.as_external_typed_data.length = static_cast<intptr_t>(held->size());
  message.value.as_external_typed_data.data = held->data();
  message.value.as_external_typed_data.peer = held;
  message.value.as_external_typed_data.callback = &free_peer;
  if (runtime_post(port, &message)) return true;
  delete held;
  return false;
}

Bytes panic(const std::string& text) {
  return owl::wire::panic_bytes(text);
}

}  // namespace

extern "C" {
int32_t frb_get_rust_content_hash(void) {
  return content_hash;
}
void store_dart_post_cobject(Dart_PostCObjectFn fn) {
  runtime_post = fn;
}
intptr_t frb_init_frb_dart_api_dl(void*) {
  return 0;
}
static void shutdown(void*) {}
void (*frb_create_shutdown_callback(void))(void*) {
  return &shutdown;
}
uint8_t* frb_rust_vec_u8_new(int32_t len) {
  if (refuse_buffers) return nullptr;
  return static_cast<uint8_t*>(std::calloc(static_cast<std::size_t>(len) + 1, 1));
}
void frb_pde_ffi_dispatcher_primary(int32_t func_id, int64_t port, uint8_t* ptr, int32_t,
                                    int32_t data_len) {
  const Bytes args(ptr, ptr + data_len);
  std::free(ptr);
  answer_async(func_id, port, args);
}
WireSyncRust2DartSse frb_pde_ffi_dispatcher_sync(int32_t func_id, uint8_t* ptr, int32_t, int32_t) {
  sync_asked = func_id;
  std::free(ptr);
  auto* out = static_cast<uint8_t*>(std::malloc(sync_answer.size()));
  std::memcpy(out, sync_answer.data(), sync_answer.size());
  return {out, static_cast<int32_t>(sync_answer.size())};
}
void frb_free_wire_sync_rust2dart_sse(WireSyncRust2DartSse response) {
  std::free(response.ptr);
}
}

namespace owl::client {
namespace {

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// The text of the panic a call raises, or "(no panic)".
std::string panic_of(const std::function<void()>& call) {
  try {
    call();
  } catch (const EnginePanic& p) {
    return p.what();
  }
  return "(no panic)";
}

// Answers `call` with a panic, an action no call answers with, a panic whose text is cut short,
// nothing at all, and a value with a byte too many: each must reach the caller as a panic.
template <class Call>
void expect_every_failure(const std::string& name, const Bytes& success, Bytes& answer_slot,
                          const Call& call) {
  const std::pair<Bytes, std::string> failures[] = {
      {panic(name), name},
      {{0x01}, "unexpected response from the engine"},
      {{0x03, 0x09, 0x00, 0x00, 0x00, 'x'},
       "malformed response from the engine: unexpected end of the argument bytes"},
      {{}, "malformed response from the engine: unexpected end of the argument bytes"},
      {concat({success, {0x07}}), "malformed response from the engine: "}};
  for (const auto& [bytes, text] : failures) {
    answer_slot = bytes;
    EXPECT_EQ(panic_of([&] { call(); }).substr(0, text.size()), text) << name;
  }
}

TEST(Client, RefusesAnEngineOfAnotherInterfaceVersion) {
  content_hash = 113405341;
  try {
    Client::instance();
    ADD_FAILURE() << "a client for another interface version";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "the engine library is a different version of the interface");
  }
  content_hash = wire::CONTENT_HASH;
  EXPECT_NO_THROW(Client::instance());
  EXPECT_EQ(runtime_post, Client::post_function());
}

// Failed answers are answered to every operation below; here the kinds of message the runtime
// may post besides the engine's own.
TEST(Client, ACopiedAnswerDecodesAReplyPortTakesOneMessageAndOtherKindsAreMalformed) {
  Client& c = Client::instance();
  answer_async = [](std::int32_t, std::int64_t port, const Bytes&) {
    EXPECT_TRUE(post(port, {0x00, 0x00, 0x00, 0x00, 0x00}, true));
    EXPECT_FALSE(post(port, {0x00, 0x00, 0x00, 0x00, 0x00}));
  };
  EXPECT_TRUE(c.units_wait().empty());

  answer_async = [](std::int32_t, std::int64_t port, const Bytes&) {
    Dart_CObject message{};
    message.type = Dart_CObject_kNull;
    EXPECT_TRUE(runtime_post(port, &message));
  };
  EXPECT_EQ(panic_of([&] { c.units_wait(); }),
            "malformed response from the engine: unexpected end of the argument bytes");
}

TEST(Client, AStreamDeliversItsItemsSkipsUndecodableOnesAndClosesOnce) {
  Client& c = Client::instance();
  std::int64_t stream_port = 0;
  answer_async = [&](std::int32_t id, std::int64_t port, const Bytes& args) {
    ASSERT_EQ(id, wire::EVENT_STREAM);
    wire::Reader r(args);
    stream_port = wire::parse_stream_port(r.text());
    EXPECT_TRUE(post(port, wire::success_bytes()));
    EXPECT_TRUE(post(stream_port, wire::success_bytes(UiEvent{ui_event::Identity{"K1", "OWL"}})));
    EXPECT_TRUE(post(stream_port, {0x00, 0x09}));  // no such event variant
    EXPECT_TRUE(post(stream_port, {0x02, 0x00}));  // a close with something after it is no close
    EXPECT_TRUE(post(stream_port, {0x01}));        // one byte, but no close either
    EXPECT_TRUE(post(stream_port, wire::close_stream_bytes()));
    // Closed on the runtime's side: later items are refused.
    EXPECT_FALSE(post(stream_port, wire::close_stream_bytes()));
  };
  std::vector<UiEvent> items;
  int closes = 0;
  bool answered = false;
  c.event_stream([&](UiEvent e) { items.push_back(std::move(e)); }, [&] { ++closes; },
                 [&](Result<Nothing> r) { answered = r.has_value(); });
  EXPECT_TRUE(answered);
  EXPECT_EQ(items, (std::vector<UiEvent>{ui_event::Identity{"K1", "OWL"}}));
  EXPECT_EQ(closes, 1);
}

// What the engine was last asked, by id and argument bytes.
struct Asked {
  std::int32_t id = -1;
  Bytes args;
};

TEST(Client, EachOperationSendsItsIdAndExactArgumentsAndDecodesEveryKindOfAnswer) {
  Client& c = Client::instance();
  UiSettings form;
  form.unit_name = "N";
  wire::Writer form_writer;
  wire::write(form_writer, form);
  const Bytes form_bytes = form_writer.take();
  const Bytes k1{0x02, 0x00, 0x00, 0x00, 'K', '1'};
  // A list of one text, "bad".
  const Bytes bad{0x00, 0x01, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 'b', 'a', 'd'};
  const std::vector<std::string> bad_list{"bad"};
  // A list of one report: key "K1", name "N", problems ["bad"].
  const Bytes report{0x00, 0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,
                     'K',  '1',  0x01, 0x00, 0x00, 0x00, 'N',  0x01, 0x00,
                     0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 'b',  'a',  'd'};

  struct Operation {
    const char* name;
    std::int32_t id;
    Bytes args;
    Bytes success;
    std::function<bool()> call;  // true when the answer decoded to the value in success
  };
  const Operation operations[] = {
      {"initialize", wire::INITIALIZE, {}, {0x00}, [&] { return c.initialize_wait(), true; }},
      {"start", wire::START, {0x01}, {0x00}, [&] { return c.start_wait(true), true; }},
      {"units",
       wire::UNITS,
       {},
       {0x00, 0x00, 0x00, 0x00, 0x00},
       [&] { return c.units_wait().empty(); }},
      {"refresh", wire::REFRESH_UNIT, k1, {0x00}, [&] { return c.refresh_unit_wait("K1"), true; }},
      {"add",
       wire::SIM_ADD_UNIT,
       {0x01, 0x00, 0x00, 0x00, 'S',  0x01, 0x00, 0x00, 0x00, 0x02, 0x00,
        0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00},
       {0x00},
       [&] { return c.sim_add_unit_wait("S", 1, 2, 3, 4), true; }},
      {"remove",
       wire::SIM_REMOVE_UNIT,
       {0x01, 0x00, 0x00, 0x00, 'S'},
       {0x00},
       [&] { return c.sim_remove_unit_wait("S"), true; }},
      {"check", wire::CHECK_SETTINGS, concat({k1, form_bytes}), bad,
       [&] { return c.check_settings_wait("K1", form) == bad_list; }},
      {"write", wire::WRITE_SETTINGS, concat({k1, form_bytes, {0x01, 0x00}}), bad,
       [&] { return c.write_settings_wait("K1", form, true, false) == bad_list; }},
      {"write all", wire::WRITE_ALL_SETTINGS, concat({form_bytes, {0x01}}), report,
       [&] {
         return c.write_all_settings_wait(form, true) ==
                std::vector<UnitWriteReport>{{"K1", "N", {"bad"}}};
       }},
  };
  Asked asked;
  Bytes answer;
  answer_async = [&](std::int32_t id, std::int64_t port, const Bytes& args) {
    asked = {id, args};
    EXPECT_TRUE(post(port, answer));
  };
  for (const Operation& op : operations) {
    answer = op.success;
    EXPECT_TRUE(op.call()) << op.name;
    EXPECT_EQ(asked.id, op.id) << op.name;
    EXPECT_EQ(asked.args, op.args) << op.name;
    expect_every_failure(op.name, op.success, answer, op.call);
  }

  // The synchronous operations, answered with a value and with every kind of failure.
  struct SyncOperation {
    const char* name;
    std::int32_t id;
    Bytes success;
    std::function<bool()> call;
  };
  const SyncOperation sync_operations[] = {
      {"features", wire::BUILD_FEATURES, {0x00, 0x01}, [&] { return c.build_features(); }},
      {"version",
       wire::CORE_VERSION,
       {0x00, 0x02, 0x00, 0x00, 0x00, 'v', '1'},
       [&] { return c.core_version() == "v1"; }},
      {"options", wire::ENUM_OPTIONS, Bytes(1 + 10 * 4, 0x00),  // ten empty lists
       [&] { return c.enum_options() == EnumOptions{}; }},
      {"example", wire::EXAMPLE_SETTINGS, concat({{0x00}, form_bytes}),
       [&] { return c.example_settings() == form; }},
  };
  for (const SyncOperation& op : sync_operations) {
    sync_answer = op.success;
    EXPECT_TRUE(op.call()) << op.name;
    EXPECT_EQ(sync_asked, op.id) << op.name;
    expect_every_failure(op.name, op.success, sync_answer, op.call);
  }

  // An engine that cannot allocate the argument buffer: the call fails before reaching it.
  refuse_buffers = true;
  sync_asked = -1;
  EXPECT_THROW(c.core_version(), std::bad_alloc);
  EXPECT_EQ(sync_asked, -1);
  refuse_buffers = false;
}

}  // namespace
}  // namespace owl::client
