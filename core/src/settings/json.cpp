#include "settings/json.hpp"

#include <charconv>
#include <string_view>
#include <type_traits>
#include <variant>

#include "settings/unit_fields.hpp"
#include "text.hpp"

namespace owl {

namespace {

// ---- Key-sorted object form -------------------------------------------------------------------

JsonValue num(std::uint64_t n) {
  return JsonValue(n);
}

template <class E>
JsonValue enum_value(E e) {
  if (auto name = e.name()) return JsonValue(std::string(*name));
  return num(e.code());
}

// ---- Pretty-printed text form -----------------------------------------------------------------

// Writes members in the order they are given, two spaces per nesting level.
class TextWriter {
 public:
  explicit TextWriter(std::string& out) : out_(out) {}

  void open_object() {
    out_.push_back('{');
    ++depth_;
    first_ = true;
  }
  void close_object() {
    --depth_;
    newline();
    out_.push_back('}');
    first_ = false;
  }
  void open_array() {
    out_.push_back('[');
    ++depth_;
    first_ = true;
  }
  void close_array(bool empty) {
    --depth_;
    if (!empty) newline();
    out_.push_back(']');
    first_ = false;
  }

  // Starts an array element (or a member without a key).
  void element() {
    if (!first_) out_.push_back(',');
    first_ = false;
    newline();
  }
  void key(std::string_view k) {
    element();
    out_.push_back('"');
    out_.append(k);  // keys are fixed ASCII identifiers
    out_.append("\": ");
  }

  void number(std::uint64_t n) {
    char buf[24];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, n);
    (void)ec;
    out_.append(buf, end);
  }
  void boolean(bool b) { out_.append(b ? "true" : "false"); }
  void string(std::string_view s) { append_quoted(out_, s); }
  template <class E>
  void enumeration(E e) {
    if (auto name = e.name()) {
      out_.push_back('"');
      out_.append(*name);
      out_.push_back('"');
    } else {
      number(e.code());
    }
  }

  void member(std::string_view k, std::uint64_t n) {
    key(k);
    number(n);
  }
  void member_bool(std::string_view k, bool b) {
    key(k);
    boolean(b);
  }

  static void append_quoted(std::string& out, std::string_view s) {
    out.push_back('"');
    for (char ch : s) {
      const auto c = static_cast<unsigned char>(ch);
      switch (c) {
        case '"':
          out.append("\\\"");
          break;
        case '\\':
          out.append("\\\\");
          break;
        case '\b':
          out.append("\\b");
          break;
        case '\t':
          out.append("\\t");
          break;
        case '\n':
          out.append("\\n");
          break;
        case '\f':
          out.append("\\f");
          break;
        case '\r':
          out.append("\\r");
          break;
        default:
          if (c < 0x20) {
            out.append("\\u00");
            append_hex(out, c);
          } else {
            out.push_back(ch);  // non-ASCII UTF-8 passes through as is
          }
      }
    }
    out.push_back('"');
  }

 private:
  void newline() {
    out_.push_back('\n');
    out_.append(2 * depth_, ' ');
  }

  std::string& out_;
  std::size_t depth_ = 0;
  bool first_ = true;
};

}  // namespace

std::string json_quote(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  TextWriter::append_quoted(out, text);
  return out;
}

JsonValue settings_to_json(const UnitSettings& s) {
  JsonValue::Array channels;
  channels.reserve(s.channels.size());
  for (const ChannelSettings& ch : s.channels) {
    JsonValue::Object o;
    o.emplace("frequency", num(ch.frequency));
    o.emplace("channelNumber", num(ch.channelNumber));
    o.emplace("delayEnable", JsonValue(ch.delayEnable));
    o.emplace("votingEnable", JsonValue(ch.votingEnable));
    o.emplace("channelEnable", JsonValue(ch.channelEnable));
    channels.emplace_back(std::move(o));
  }

  JsonValue::Object o;
  for (const UnitField& field : UNIT_FIELDS) {
    std::visit(
        [&](auto member) {
          const auto& v = s.*member;
          using T = std::remove_cvref_t<decltype(v)>;
          if constexpr (CodedValue<T>) {
            o.emplace(field.key, enum_value(v));
          } else if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, bool>) {
            o.emplace(field.key, JsonValue(v));
          } else {
            o.emplace(field.key, num(v));
          }
        },
        field.ref);
  }
  o.emplace("channels", JsonValue(std::move(channels)));
  return JsonValue(std::move(o));
}

std::string settings_to_json_text(const UnitSettings& s) {
  std::string out;
  out.reserve(720 + 150 * s.channels.size());
  TextWriter w(out);
  w.open_object();
  for (const UnitField& field : UNIT_FIELDS) {
    std::visit(
        [&](auto member) {
          const auto& v = s.*member;
          using T = std::remove_cvref_t<decltype(v)>;
          w.key(field.key);
          if constexpr (CodedValue<T>) {
            w.enumeration(v);
          } else if constexpr (std::is_same_v<T, std::string>) {
            w.string(v);
          } else if constexpr (std::is_same_v<T, bool>) {
            w.boolean(v);
          } else {
            w.number(v);
          }
        },
        field.ref);
  }
  w.key("channels");
  w.open_array();
  for (const ChannelSettings& ch : s.channels) {
    w.element();
    w.open_object();
    w.member("frequency", ch.frequency);
    w.member("channelNumber", ch.channelNumber);
    w.member_bool("delayEnable", ch.delayEnable);
    w.member_bool("votingEnable", ch.votingEnable);
    w.member_bool("channelEnable", ch.channelEnable);
    w.close_object();
  }
  w.close_array(s.channels.empty());
  w.close_object();
  return out;
}

}  // namespace owl
