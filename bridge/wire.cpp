#include "wire.hpp"

#include <type_traits>

#include "ui_fields.hpp"

#include <limits>

namespace owl::wire {

void Writer::u16(std::uint16_t v) {
  bytes_.push_back(static_cast<std::uint8_t>(v));
  bytes_.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Writer::u32(std::uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8)
    bytes_.push_back(static_cast<std::uint8_t>(v >> shift));
}

void Writer::u64(std::uint64_t v) {
  for (int shift = 0; shift < 64; shift += 8)
    bytes_.push_back(static_cast<std::uint8_t>(v >> shift));
}

void Writer::count(std::size_t n) {
  if (n > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    throw std::length_error("too many items for one message");
  }
  i32(static_cast<std::int32_t>(n));
}

void Writer::text(std::string_view v) {
  count(v.size());
  bytes_.insert(bytes_.end(), v.begin(), v.end());
}

const std::uint8_t* Reader::take(std::size_t n) {
  if (remaining() < n) throw DecodeError("unexpected end of the argument bytes");
  const std::uint8_t* p = bytes_.data() + pos_;
  pos_ += n;
  return p;
}

std::uint8_t Reader::u8() {
  return *take(1);
}

std::uint16_t Reader::u16() {
  const std::uint8_t* p = take(2);
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t Reader::u32() {
  const std::uint8_t* p = take(4);
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

std::uint64_t Reader::u64() {
  const std::uint8_t* p = take(8);
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

std::size_t Reader::count() {
  const std::int32_t n = i32();
  if (n < 0) throw DecodeError("negative count in the argument bytes");
  const auto size = static_cast<std::size_t>(n);
  // Every element takes at least one byte, so a larger count cannot be honest.
  if (size > remaining()) throw DecodeError("unexpected end of the argument bytes");
  return size;
}

std::string Reader::text() {
  const std::size_t n = count();
  const std::uint8_t* p = take(n);
  std::string s(reinterpret_cast<const char*>(p), n);
  if (!is_valid_utf8(s)) throw DecodeError("text in the argument bytes is not valid UTF-8");
  return s;
}

void Reader::finish() const {
  if (remaining() != 0) throw DecodeError("bytes left over after the last argument");
}

std::int64_t parse_stream_port(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) throw DecodeError("malformed stream port");
  // Accumulate as a negative number so that the most negative port fits.
  std::int64_t value = 0;
  constexpr std::int64_t lowest = std::numeric_limits<std::int64_t>::min();
  for (char c : text) {
    if (c < '0' || c > '9') throw DecodeError("malformed stream port");
    const int digit = c - '0';
    if (value < (lowest + digit) / 10) throw DecodeError("stream port out of range");
    value = value * 10 - digit;
  }
  if (!negative) {
    if (value == lowest) throw DecodeError("stream port out of range");
    value = -value;
  }
  return value;
}

std::string stream_port_text(std::int64_t port) {
  return std::to_string(port);
}

void write(Writer& w, const std::string& v) {
  w.text(v);
}
void read(Reader& r, std::string& v) {
  v = r.text();
}

void write(Writer& w, const UiChannel& v) {
  w.u32(v.frequency);
  w.boolean(v.delay_enable);
  w.boolean(v.voting_enable);
  w.boolean(v.channel_enable);
}

void read(Reader& r, UiChannel& v) {
  v.frequency = r.u32();
  v.delay_enable = r.boolean();
  v.voting_enable = r.boolean();
  v.channel_enable = r.boolean();
}

// The fields in table order, each as its type is written; the channels follow.
void write(Writer& w, const UiSettings& v) {
  for (const UiField& field : UI_FIELDS) {
    std::visit(
        [&](auto member) {
          using T = std::remove_cvref_t<decltype(v.*member)>;
          if constexpr (std::is_same_v<T, std::string>) {
            w.text(v.*member);
          } else if constexpr (std::is_same_v<T, bool>) {
            w.boolean(v.*member);
          } else if constexpr (std::is_same_v<T, std::uint16_t>) {
            w.u16(v.*member);
          } else {
            w.u32(v.*member);
          }
        },
        field.ref);
  }
  write(w, v.channels);
}

void read(Reader& r, UiSettings& v) {
  for (const UiField& field : UI_FIELDS) {
    std::visit(
        [&](auto member) {
          using T = std::remove_cvref_t<decltype(v.*member)>;
          if constexpr (std::is_same_v<T, std::string>) {
            v.*member = r.text();
          } else if constexpr (std::is_same_v<T, bool>) {
            v.*member = r.boolean();
          } else if constexpr (std::is_same_v<T, std::uint16_t>) {
            v.*member = r.u16();
          } else {
            v.*member = r.u32();
          }
        },
        field.ref);
  }
  read(r, v.channels);
}

void write(Writer& w, const EnumOptions& v) {
  for (const OptionList list : OPTION_LISTS) write(w, v.*list);
}

void read(Reader& r, EnumOptions& v) {
  for (const OptionList list : OPTION_LISTS) read(r, v.*list);
}

void write(Writer& w, const UnitInfo& v) {
  w.text(v.key);
  w.text(v.label);
  w.boolean(v.identity.has_value());
  if (v.identity) w.text(*v.identity);
  w.boolean(v.settings.has_value());
  if (v.settings) write(w, *v.settings);
  w.text(v.settings_json);
}

void read(Reader& r, UnitInfo& v) {
  v.key = r.text();
  v.label = r.text();
  v.identity.reset();
  if (r.boolean()) v.identity = r.text();
  v.settings.reset();
  if (r.boolean()) read(r, v.settings.emplace());
  v.settings_json = r.text();
}

void write(Writer& w, const UnitWriteReport& v) {
  w.text(v.key);
  w.text(v.unit_name);
  write(w, v.problems);
}

void read(Reader& r, UnitWriteReport& v) {
  v.key = r.text();
  v.unit_name = r.text();
  read(r, v.problems);
}

void write(Writer& w, const UiEvent& v) {
  w.i32(static_cast<std::int32_t>(v.index()));
  std::visit(
      [&](const auto& e) {
        using E = std::decay_t<decltype(e)>;
        if constexpr (std::is_same_v<E, ui_event::Announced>) {
          w.text(e.key);
          w.text(e.label);
        } else if constexpr (std::is_same_v<E, ui_event::Stopped>) {
          w.text(e.key);
          w.text(e.reason);
        } else if constexpr (std::is_same_v<E, ui_event::Settings>) {
          w.text(e.key);
          write(w, e.settings);
        } else if constexpr (std::is_same_v<E, ui_event::Identity>) {
          w.text(e.key);
          w.text(e.text);
        } else if constexpr (std::is_same_v<E, ui_event::WriteResult>) {
          w.text(e.key);
          w.boolean(e.ok);
          w.text(e.message);
        } else {
          write(w, e.lines);
        }
      },
      v);
}

void read(Reader& r, UiEvent& v) {
  switch (r.i32()) {
    case 0: {
      ui_event::Announced e;
      e.key = r.text();
      e.label = r.text();
      v = std::move(e);
      return;
    }
    case 1: {
      ui_event::Stopped e;
      e.key = r.text();
      e.reason = r.text();
      v = std::move(e);
      return;
    }
    case 2: {
      ui_event::Settings e;
      e.key = r.text();
      read(r, e.settings);
      v = std::move(e);
      return;
    }
    case 3: {
      ui_event::Identity e;
      e.key = r.text();
      e.text = r.text();
      v = std::move(e);
      return;
    }
    case 4: {
      ui_event::WriteResult e;
      e.key = r.text();
      e.ok = r.boolean();
      e.message = r.text();
      v = std::move(e);
      return;
    }
    case 5: {
      ui_event::PortProblems e;
      read(r, e.lines);
      v = std::move(e);
      return;
    }
    default:
      throw DecodeError("unknown event variant");
  }
}

std::vector<std::uint8_t> success_bytes() {
  return {static_cast<std::uint8_t>(Action::Success)};
}

std::vector<std::uint8_t> success_bytes(bool result) {
  return {static_cast<std::uint8_t>(Action::Success), static_cast<std::uint8_t>(result ? 1 : 0)};
}

std::vector<std::uint8_t> panic_bytes(std::string_view message) {
  Writer w;
  w.action(Action::Panic);
  w.text(message);
  return w.take();
}

std::vector<std::uint8_t> close_stream_bytes() {
  return {static_cast<std::uint8_t>(Action::CloseStream)};
}

}  // namespace owl::wire
