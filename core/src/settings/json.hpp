#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "settings/model.hpp"

namespace owl {

// A minimal JSON value: objects keep their members sorted by key (byte order), and equality is
// structural.
class JsonValue {
 public:
  using Array = std::vector<JsonValue>;
  using Object = std::map<std::string, JsonValue>;

  JsonValue() : v_(nullptr) {}
  JsonValue(bool b) : v_(b) {}                    // NOLINT
  JsonValue(std::uint64_t n) : v_(n) {}           // NOLINT
  JsonValue(std::string s) : v_(std::move(s)) {}  // NOLINT
  JsonValue(Array a) : v_(std::move(a)) {}        // NOLINT
  JsonValue(Object o) : v_(std::move(o)) {}       // NOLINT

  bool is_null() const { return std::holds_alternative<std::nullptr_t>(v_); }
  bool is_bool() const { return std::holds_alternative<bool>(v_); }
  bool is_number() const { return std::holds_alternative<std::uint64_t>(v_); }
  bool is_string() const { return std::holds_alternative<std::string>(v_); }
  bool is_array() const { return std::holds_alternative<Array>(v_); }
  bool is_object() const { return std::holds_alternative<Object>(v_); }

  bool as_bool() const { return std::get<bool>(v_); }
  std::uint64_t as_number() const { return std::get<std::uint64_t>(v_); }
  const std::string& as_string() const { return std::get<std::string>(v_); }
  const Array& as_array() const { return std::get<Array>(v_); }
  const Object& as_object() const { return std::get<Object>(v_); }

  friend bool operator==(const JsonValue&, const JsonValue&) = default;

 private:
  std::variant<std::nullptr_t, bool, std::uint64_t, std::string, Array, Object> v_;
};

// The key-sorted object form that write verification compares.
JsonValue settings_to_json(const UnitSettings& settings);

// Pretty-printed JSON in declaration order, two-space indent, no trailing newline.
std::string settings_to_json_text(const UnitSettings& settings);

// A JSON string literal with the escapes JSON requires.
std::string json_quote(std::string_view text);

}  // namespace owl
