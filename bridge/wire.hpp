#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "records.hpp"
#include "text.hpp"

// The byte encoding of calls, results and stream items between the engine and a user interface:
// values back to back, little-endian, texts and lists with an i32 count in front.
namespace owl::wire {

// Bytes that do not decode as the expected arguments.
class DecodeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class Action : std::uint8_t { Success = 0, Error = 1, CloseStream = 2, Panic = 3 };

// Identifies this exact set of operations, ids and layouts. A user interface generated against
// the engine refuses to run when the engine reports another value, so any change to an id, an
// argument or a record layout must come with a new hash (and new bindings); client/ checks it the
// same way.
inline constexpr std::int32_t CONTENT_HASH = 113405340;

// Fixed numbers, in alphabetical order of the operations' names: generated bindings carry them as
// literals, so a renumbered operation would silently run another one.
enum FunctionId : std::int32_t {
  BUILD_FEATURES = 1,
  CHECK_SETTINGS = 2,
  CORE_VERSION = 3,
  ENUM_OPTIONS = 4,
  EVENT_STREAM = 5,
  EXAMPLE_SETTINGS = 6,
  INITIALIZE = 7,
  REFRESH_UNIT = 8,
  SIM_ADD_UNIT = 9,
  SIM_REMOVE_UNIT = 10,
  START = 11,
  UNITS = 12,
  WRITE_ALL_SETTINGS = 13,
  WRITE_SETTINGS = 14,
};

class Writer {
 public:
  void boolean(bool v) { bytes_.push_back(v ? 1 : 0); }
  void u8(std::uint8_t v) { bytes_.push_back(v); }
  void u16(std::uint16_t v);
  void u32(std::uint32_t v);
  void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
  void u64(std::uint64_t v);
  void i64(std::int64_t v) { u64(static_cast<std::uint64_t>(v)); }
  void text(std::string_view v);
  void count(std::size_t n);
  void action(Action a) { u8(static_cast<std::uint8_t>(a)); }

  std::vector<std::uint8_t>& bytes() { return bytes_; }
  std::vector<std::uint8_t> take() { return std::move(bytes_); }

 private:
  std::vector<std::uint8_t> bytes_;
};

class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  bool boolean() { return u8() != 0; }
  std::uint8_t u8();
  std::uint16_t u16();
  std::uint32_t u32();
  std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
  std::uint64_t u64();
  std::int64_t i64() { return static_cast<std::int64_t>(u64()); }
  std::string text();
  // A list's element count: never negative, never more elements than bytes left.
  std::size_t count();
  // Throws DecodeError unless every byte was read.
  void finish() const;
  std::size_t remaining() const { return bytes_.size() - pos_; }

 private:
  const std::uint8_t* take(std::size_t n);
  std::span<const std::uint8_t> bytes_;
  std::size_t pos_ = 0;
};

// A stream's port written as decimal text with an optional sign.
std::int64_t parse_stream_port(std::string_view text);
std::string stream_port_text(std::int64_t port);

void write(Writer& w, const UiChannel& v);
void write(Writer& w, const UiSettings& v);
void write(Writer& w, const EnumOptions& v);
void write(Writer& w, const UnitInfo& v);
void write(Writer& w, const UnitWriteReport& v);
void write(Writer& w, const UiEvent& v);
void write(Writer& w, const std::string& v);
template <class T>
void write(Writer& w, const std::vector<T>& list) {
  w.count(list.size());
  for (const T& item : list) write(w, item);
}

void read(Reader& r, UiChannel& v);
void read(Reader& r, UiSettings& v);
void read(Reader& r, EnumOptions& v);
void read(Reader& r, UnitInfo& v);
void read(Reader& r, UnitWriteReport& v);
void read(Reader& r, UiEvent& v);
void read(Reader& r, std::string& v);
template <class T>
void read(Reader& r, std::vector<T>& list) {
  const std::size_t n = r.count();
  list.clear();
  list.reserve(n);
  for (std::size_t i = 0; i < n; ++i) read(r, list.emplace_back());
}

// Response envelopes.
std::vector<std::uint8_t> success_bytes();
template <class T>
std::vector<std::uint8_t> success_bytes(const T& result) {
  Writer w;
  w.action(Action::Success);
  write(w, result);
  return w.take();
}
std::vector<std::uint8_t> success_bytes(bool result);
std::vector<std::uint8_t> panic_bytes(std::string_view message);
std::vector<std::uint8_t> close_stream_bytes();

}  // namespace owl::wire
