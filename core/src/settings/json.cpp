#include "settings/json.hpp"

#include <charconv>
#include <string_view>
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
  o.emplace("unitName", JsonValue(s.unitName));
  o.emplace("unitSerialNum", num(s.unitSerialNum));
  o.emplace("structVer", num(s.structVer));
  o.emplace("voicePromptsEnable", enum_value(s.voicePromptsEnable));
  o.emplace("bootAnnounce", JsonValue(s.bootAnnounce));
  o.emplace("delayMs", num(s.delayMs));
  o.emplace("hphMode", enum_value(s.hphMode));
  o.emplace("led", enum_value(s.led));
  o.emplace("charge", enum_value(s.charge));
  o.emplace("squelch", enum_value(s.squelch));
  o.emplace("abButton", enum_value(s.abButton));
  o.emplace("starButton", enum_value(s.starButton));
  o.emplace("rfMode", enum_value(s.rfMode));
  o.emplace("compander", enum_value(s.compander));
  o.emplace("batteryType", enum_value(s.batteryType));
  o.emplace("encryption", num(s.encryption));
  o.emplace("audioEq", enum_value(s.audioEq));
  o.emplace("gainBoost", JsonValue(s.gainBoost));
  o.emplace("minFreq", num(s.minFreq));
  o.emplace("maxFreq", num(s.maxFreq));
  o.emplace("curPresetIndex", num(s.curPresetIndex));
  o.emplace("hpCompressor", num(s.hpCompressor));
  o.emplace("reserved51", num(s.reserved51));
  o.emplace("reserved60", num(s.reserved60));
  o.emplace("channels", JsonValue(std::move(channels)));
  return JsonValue(std::move(o));
}

std::string settings_to_json_text(const UnitSettings& s) {
  std::string out;
  out.reserve(720 + 150 * s.channels.size());
  TextWriter w(out);
  w.open_object();
  w.key("unitName");
  w.string(s.unitName);
  w.member("unitSerialNum", s.unitSerialNum);
  w.member("structVer", s.structVer);
  w.key("voicePromptsEnable");
  w.enumeration(s.voicePromptsEnable);
  w.member_bool("bootAnnounce", s.bootAnnounce);
  w.member("delayMs", s.delayMs);
  w.key("hphMode");
  w.enumeration(s.hphMode);
  w.key("led");
  w.enumeration(s.led);
  w.key("charge");
  w.enumeration(s.charge);
  w.key("squelch");
  w.enumeration(s.squelch);
  w.key("abButton");
  w.enumeration(s.abButton);
  w.key("starButton");
  w.enumeration(s.starButton);
  w.key("rfMode");
  w.enumeration(s.rfMode);
  w.key("compander");
  w.enumeration(s.compander);
  w.key("batteryType");
  w.enumeration(s.batteryType);
  w.member("encryption", s.encryption);
  w.key("audioEq");
  w.enumeration(s.audioEq);
  w.member_bool("gainBoost", s.gainBoost);
  w.member("minFreq", s.minFreq);
  w.member("maxFreq", s.maxFreq);
  w.member("curPresetIndex", s.curPresetIndex);
  w.member("hpCompressor", s.hpCompressor);
  w.member("reserved51", s.reserved51);
  w.member("reserved60", s.reserved60);
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
