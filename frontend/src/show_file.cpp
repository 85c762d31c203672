#include "show_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <list>
#include <map>
#include <set>
#include <stdexcept>
#include <unordered_set>

namespace owl::frontend {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

// A show is five levels deep (units[].settings.channels[].field); anything far deeper is not one,
// and a limit keeps a file of nothing but '[' from costing memory.
constexpr std::size_t MAX_DEPTH = 32;
// A broken file (say, thousands of unknown keys) is refused on its first screenful of reasons.
constexpr std::size_t MAX_PROBLEMS = 100;
constexpr const char* TOO_LARGE =
    "larger than 4 MiB; a show file is far smaller, so this is not one";

std::string member_path(const std::string& parent, std::string_view key) {
  return parent.empty() ? std::string(key) : parent + "." + std::string(key);
}

std::string element_path(const std::string& parent, std::size_t index) {
  return parent + "[" + std::to_string(index) + "]";
}

class Problems {
 public:
  void add(std::string path, std::string message) {
    if (list_.size() < MAX_PROBLEMS) {
      list_.push_back({std::move(path), std::move(message)});
    } else {
      truncated_ = true;
    }
  }
  bool empty() const { return list_.empty(); }
  std::vector<ShowProblem> take() {
    if (truncated_) list_.push_back({"", "more problems not listed"});
    return std::move(list_);
  }

 private:
  std::vector<ShowProblem> list_;
  bool truncated_ = false;
};

// Builds the document like nlohmann's own DOM parser, but refuses duplicate keys (which that
// parser silently resolves to the last one) and deep nesting, naming where they are.
class StrictSax : public nlohmann::json_sax<Json> {
 public:
  StrictSax(std::string_view text, Problems& problems) : text_(text), problems_(problems) {}

  Json document;

  bool null() override { return put(Json(nullptr)); }
  bool boolean(bool value) override { return put(Json(value)); }
  bool number_integer(number_integer_t value) override { return put(Json(value)); }
  bool number_unsigned(number_unsigned_t value) override { return put(Json(value)); }
  bool number_float(number_float_t value, const string_t& /*text*/) override {
    return put(Json(value));
  }
  bool string(string_t& value) override { return put(Json(std::move(value))); }
  bool binary(binary_t& /*value*/) override { return false; }  // text JSON has none

  bool start_object(std::size_t /*size*/) override { return open(Json::object()); }
  bool key(string_t& key) override {
    Frame& frame = stack_.back();
    frame.duplicate = !frame.keys.insert(key).second;
    if (frame.duplicate) problems_.add(path_of(key), "duplicate key");
    frame.key = std::move(key);
    return true;
  }
  bool end_object() override {
    stack_.pop_back();
    return true;
  }
  bool start_array(std::size_t /*size*/) override { return open(Json::array()); }
  bool end_array() override {
    stack_.pop_back();
    return true;
  }

  bool parse_error(std::size_t position, const std::string& /*last_token*/,
                   const nlohmann::detail::exception& error) override {
    // "[json.exception.parse_error.101] parse error at line 3, column 11: syntax error ...", but
    // "[json.exception.out_of_range.406] number overflow ..." has no line: count it here.
    const std::string what = error.what();
    const auto at = what.find("at line ");
    const auto description = at != std::string::npos ? what.find(": ", at) : what.find("] ");
    const std::string_view read = text_.substr(0, std::min(position, text_.size()));
    const auto line_start = read.rfind('\n');
    const std::size_t line =
        1 + static_cast<std::size_t>(std::count(read.begin(), read.end(), '\n'));
    const std::size_t column =
        line_start == std::string_view::npos ? position : position - line_start - 1;
    problems_.add("", "bad JSON at line " + std::to_string(line) + ", column " +
                          std::to_string(column) + ": " +
                          (description == std::string::npos ? what : what.substr(description + 2)));
    return false;
  }

 private:
  struct Frame {
    Json* value;
    std::unordered_set<std::string> keys;  // seen so far, so duplicates cost no linear search
    std::string key;                       // the member being read
    bool duplicate = false;
  };

  // Path of the value about to be added to the innermost container, `key` for an object.
  std::string path_of(std::string_view key) const {
    std::string path;
    for (std::size_t i = 0; i < stack_.size(); ++i) {
      const Frame& frame = stack_[i];
      const bool innermost = i + 1 == stack_.size();
      if (frame.value->is_object()) {
        path = member_path(path, innermost ? key : std::string_view(frame.key));
      } else {
        path = element_path(path, frame.value->size() - (innermost ? 0 : 1));
      }
    }
    return path;
  }

  // Adds a value to the innermost container and returns where it now lives.
  Json* insert(Json value) {
    if (stack_.empty()) {
      document = std::move(value);
      return &document;
    }
    Frame& frame = stack_.back();
    if (frame.value->is_array()) {
      frame.value->push_back(std::move(value));
      return &frame.value->back();
    }
    auto& members = frame.value->get_ref<Json::object_t&>();
    if (frame.duplicate) {
      // Refused already; the value is read only to find more problems, then dropped. A list
      // keeps every such value where it is while its own members are read into it.
      discarded_.push_back(std::move(value));
      return &discarded_.back();
    }
    // The key is known to be new, so no search through the members is needed.
    members.Container::emplace_back(frame.key, std::move(value));
    return &members.back().second;
  }

  bool put(Json value) {
    insert(std::move(value));
    return true;
  }

  bool open(Json container) {
    if (stack_.size() >= MAX_DEPTH) {
      problems_.add(path_of(stack_.back().key),
                    "nested deeper than " + std::to_string(MAX_DEPTH) + " levels");
      return false;
    }
    Json* value = insert(std::move(container));
    stack_.push_back({value, {}, {}, false});
    return true;
  }

  std::string_view text_;
  Problems& problems_;
  std::vector<Frame> stack_;
  std::list<Json> discarded_;
};

// Reads the document's fields into a Show, noting every problem rather than stopping at the first.
class ShowReader {
 public:
  ShowReader(Problems& problems, const SettingsCheck& check) : problems_(problems), check_(check) {}

  Show read(const Json& root) {
    Show show;
    if (!root.is_object()) {
      problems_.add("", "expected a JSON object: a show file");
      return show;
    }
    if (!root.contains("format")) {
      if (root.contains("unit_name") || root.contains("channels")) {
        problems_.add("",
                      "this is a single-unit settings file (as `owlctl save` writes), not a show "
                      "file");
      } else {
        problems_.add("format", "missing field; this is not a show file");
      }
      return show;
    }
    const Json& format = root.at("format");
    if (format != SHOW_FORMAT) {
      problems_.add("format", std::string("must be \"") + SHOW_FORMAT + "\", not " + dump(format));
      return show;
    }
    const Json* version = member(root, "", "version", true);
    if (version == nullptr) return show;
    if (!version->is_number_integer() || version->get<std::int64_t>() < 1) {
      problems_.add("version", "must be a whole number from 1, not " + dump(*version));
      return show;
    }
    if (version->get<std::int64_t>() > SHOW_VERSION) {
      // Fields a newer program added would only be listed as unknown; say what matters.
      problems_.add("version", std::to_string(version->get<std::int64_t>()) +
                                   " is newer than this program reads (" +
                                   std::to_string(SHOW_VERSION) + "); update OWL Configurator");
      return show;
    }
    unknown_fields(
        root, "",
        {"format", "version", "name", "profile", "exclusions", "other_carriers", "scan", "units"});
    if (const Json* name = member(root, "", "name", true)) read_string(*name, "name", show.name);
    if (const Json* profile = member(root, "", "profile", false)) read_profile(*profile, show);
    if (const Json* list = array_member(root, "exclusions", false)) read_exclusions(*list, show);
    if (const Json* list = array_member(root, "other_carriers", false)) read_carriers(*list, show);
    if (const Json* scan = member(root, "", "scan", false)) read_scan(*scan, show);
    if (const Json* list = array_member(root, "units", true)) read_units(*list, show);
    return show;
  }

 private:
  static std::string dump(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
  }

  const Json* member(const Json& object, const std::string& parent, std::string_view key,
                     bool required) {
    const auto it = object.find(key);
    if (it != object.end()) return &*it;
    if (required) problems_.add(member_path(parent, key), "missing field");
    return nullptr;
  }

  const Json* array_member(const Json& root, std::string_view key, bool required) {
    const Json* value = member(root, "", key, required);
    if (value == nullptr || value->is_array()) return value;
    problems_.add(std::string(key), "must be an array, not " + dump(*value));
    return nullptr;
  }

  bool is_object(const Json& value, const std::string& path) {
    if (value.is_object()) return true;
    problems_.add(path, "must be an object, not " + dump(value));
    return false;
  }

  void unknown_fields(const Json& object, const std::string& path,
                      std::initializer_list<std::string_view> known) {
    for (const auto& item : object.items()) {
      bool found = false;
      for (std::string_view name : known) found = found || name == item.key();
      if (!found) problems_.add(member_path(path, item.key()), "unknown field");
    }
  }

  void read_string(const Json& value, const std::string& path, std::string& out) {
    if (value.is_string()) {
      out = value.get<std::string>();
    } else {
      problems_.add(path, "must be a string, not " + dump(value));
    }
  }

  void read_bool(const Json& value, const std::string& path, bool& out) {
    if (value.is_boolean()) {
      out = value.get<bool>();
    } else {
      problems_.add(path, "must be true or false, not " + dump(value));
    }
  }

  // Returns false when refused, leaving `out` as it was.
  template <class T>
  bool read_whole(const Json& value, const std::string& path, T& out) {
    constexpr auto low = std::numeric_limits<T>::min();
    constexpr auto high = std::numeric_limits<T>::max();
    bool fits = false;
    if (value.is_number_unsigned()) {
      fits = value.get<std::uint64_t>() <= static_cast<std::uint64_t>(high);
    } else if (value.is_number_integer()) {
      const auto number = value.get<std::int64_t>();
      fits = number >= static_cast<std::int64_t>(low) && number <= static_cast<std::int64_t>(high);
    }
    if (!fits) {
      problems_.add(path, "must be a whole number from " + std::to_string(low) + " to " +
                              std::to_string(high) + ", not " + dump(value));
      return false;
    }
    out = value.get<T>();
    return true;
  }

  void read_khz(const Json& object, const std::string& parent, std::string_view key, bool required,
                std::uint32_t& out) {
    if (const Json* value = member(object, parent, key, required)) {
      read_whole(*value, member_path(parent, key), out);
    }
  }

  void read_note(const Json& object, const std::string& parent, std::string& out) {
    if (const Json* note = member(object, parent, "note", false)) {
      read_string(*note, member_path(parent, "note"), out);
    }
  }

  void read_profile(const Json& value, Show& show) {
    if (!is_object(value, "profile")) return;
    unknown_fields(value, "profile",
                   {"carrier_spacing_khz", "im3_2tone_khz", "im3_3tone_khz", "im5_2tone_khz"});
    CoordinationProfile& profile = show.profile;
    read_khz(value, "profile", "carrier_spacing_khz", false, profile.carrier_spacing_khz);
    read_khz(value, "profile", "im3_2tone_khz", false, profile.im3_2tone_khz);
    read_khz(value, "profile", "im3_3tone_khz", false, profile.im3_3tone_khz);
    read_khz(value, "profile", "im5_2tone_khz", false, profile.im5_2tone_khz);
  }

  void read_exclusions(const Json& list, Show& show) {
    for (std::size_t i = 0; i < list.size(); ++i) {
      const std::string path = element_path("exclusions", i);
      if (!is_object(list[i], path)) continue;
      unknown_fields(list[i], path, {"from_khz", "to_khz", "note"});
      Exclusion exclusion;
      read_khz(list[i], path, "from_khz", true, exclusion.from_khz);
      read_khz(list[i], path, "to_khz", true, exclusion.to_khz);
      read_note(list[i], path, exclusion.note);
      if (exclusion.to_khz < exclusion.from_khz) {
        problems_.add(path + ".to_khz",
                      "below from_khz (" + std::to_string(exclusion.from_khz) + ")");
      }
      show.exclusions.push_back(std::move(exclusion));
    }
  }

  void read_carriers(const Json& list, Show& show) {
    for (std::size_t i = 0; i < list.size(); ++i) {
      const std::string path = element_path("other_carriers", i);
      if (!is_object(list[i], path)) continue;
      unknown_fields(list[i], path, {"frequency_khz", "note"});
      OtherCarrier carrier;
      read_khz(list[i], path, "frequency_khz", true, carrier.frequency_khz);
      read_note(list[i], path, carrier.note);
      show.other_carriers.push_back(std::move(carrier));
    }
  }

  void read_scan(const Json& value, Show& show) {
    if (!is_object(value, "scan")) return;
    unknown_fields(value, "scan", {"path", "threshold_dbm"});
    ScanRef scan;
    if (const Json* path = member(value, "scan", "path", true)) {
      read_string(*path, "scan.path", scan.path);
      if (path->is_string() && scan.path.empty()) problems_.add("scan.path", "must not be empty");
    }
    if (const Json* threshold = member(value, "scan", "threshold_dbm", true)) {
      if (threshold->is_number()) {
        scan.threshold_dbm = threshold->get<double>();
      } else {
        problems_.add("scan.threshold_dbm", "must be a number, not " + dump(*threshold));
      }
    }
    show.scan = std::move(scan);
  }

  void read_units(const Json& list, Show& show) {
    std::map<std::string, std::size_t> first_index;
    for (std::size_t i = 0; i < list.size(); ++i) {
      const std::string path = element_path("units", i);
      if (!is_object(list[i], path)) continue;
      unknown_fields(list[i], path, {"key", "locked", "settings"});
      ShowUnit unit;
      if (const Json* key = member(list[i], path, "key", true)) {
        read_string(*key, path + ".key", unit.key);
        if (key->is_string()) {
          const auto [it, fresh] = first_index.try_emplace(unit.key, i);
          if (unit.key.empty()) {
            problems_.add(path + ".key", "must not be empty");
          } else if (!fresh) {
            problems_.add(path + ".key", "duplicate unit key \"" + unit.key + "\" (also " +
                                             element_path("units", it->second) + ")");
          }
        }
      }
      if (const Json* locked = member(list[i], path, "locked", false)) {
        read_bool(*locked, path + ".locked", unit.locked);
      }
      if (const Json* settings = member(list[i], path, "settings", true)) {
        read_settings(*settings, path + ".settings", unit);
      }
      show.units.push_back(std::move(unit));
    }
  }

  void read_settings(const Json& settings, const std::string& path, ShowUnit& unit) {
    if (!is_object(settings, path)) return;
    // A settings file may leave these out; a show keeps them so that its units can be edited
    // offline within their band and matched to the right hardware.
    bool complete = true;
    for (std::string_view field : {"serial", "min_freq", "max_freq"}) {
      if (!settings.contains(field)) {
        problems_.add(member_path(path, field), "missing field");
        complete = false;
      }
    }
    if (!complete) return;
    for (ShowProblem& problem : check_(settings)) {
      const bool index = !problem.path.empty() && problem.path.front() == '[';
      problem.path = problem.path.empty() ? path : path + (index ? "" : ".") + problem.path;
      problems_.add(std::move(problem.path), std::move(problem.message));
    }
    unit.settings = settings;
  }

  Problems& problems_;
  const SettingsCheck& check_;
};

// Every rule the reader applies to the shape of a show that a program could get wrong.
void check_shape(const Show& show) {
  std::set<std::string_view> keys;
  for (const ShowUnit& unit : show.units) {
    if (unit.key.empty()) throw std::invalid_argument("show unit with an empty key");
    if (!keys.insert(unit.key).second) {
      throw std::invalid_argument("show units share the key " + unit.key);
    }
    if (!unit.settings.is_object() || !unit.settings.contains("serial") ||
        !unit.settings.contains("min_freq") || !unit.settings.contains("max_freq")) {
      throw std::invalid_argument("settings of show unit " + unit.key +
                                  " are not a settings object with serial and band");
    }
  }
  for (const Exclusion& exclusion : show.exclusions) {
    if (exclusion.to_khz < exclusion.from_khz) {
      throw std::invalid_argument("show exclusion ends before it starts");
    }
  }
  if (show.scan && (show.scan->path.empty() || !std::isfinite(show.scan->threshold_dbm))) {
    throw std::invalid_argument("show scan without path or with a threshold that is no number");
  }
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { close(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Returns close's result, so that a failed write-back is not missed.
  int close() {
    const int result = fd_ >= 0 ? ::close(fd_) : 0;
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

std::string errno_text() {
  return std::strerror(errno);
}

bool write_all(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

std::string ShowProblem::text() const {
  return path.empty() ? message : path + ": " + message;
}

ShowReadResult parse_show(std::string_view text, const SettingsCheck& check_settings) {
  if (!check_settings) throw std::invalid_argument("parse_show needs a settings check");
  Problems problems;
  if (text.size() > MAX_SHOW_BYTES) {
    problems.add("", TOO_LARGE);
    return problems.take();
  }
  StrictSax sax(text, problems);
  if (!Json::sax_parse(text.begin(), text.end(), &sax)) return problems.take();
  Show show = ShowReader(problems, check_settings).read(sax.document);
  if (!problems.empty()) return problems.take();
  return show;
}

ShowReadResult read_show(const fs::path& path, const SettingsCheck& check_settings) {
  if (!check_settings) throw std::invalid_argument("read_show needs a settings check");
  const auto refused = [](std::string message) {
    return std::vector<ShowProblem>{{"", std::move(message)}};
  };
  // O_NONBLOCK: opening a FIFO nobody writes to would otherwise wait for a writer.
  const Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (fd.get() < 0) return refused("cannot read: " + errno_text());
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return refused("cannot read: " + errno_text());
  if (!S_ISREG(info.st_mode)) {
    return refused(S_ISDIR(info.st_mode) ? "a folder, not a show file"
                                         : "not a regular file; a show is read from a file");
  }
  if (static_cast<std::uint64_t>(info.st_size) > MAX_SHOW_BYTES) return refused(TOO_LARGE);
  // Never more than one byte past the limit, in case the file grows while it is read.
  std::string text(MAX_SHOW_BYTES + 1, '\0');
  std::size_t size = 0;
  while (size < text.size()) {
    const ssize_t n = ::read(fd.get(), text.data() + size, text.size() - size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return refused("cannot read: " + errno_text());
    if (n == 0) break;
    size += static_cast<std::size_t>(n);
  }
  text.resize(size);
  return parse_show(text, check_settings);
}

bool is_show_document(const nlohmann::json& document) {
  if (!document.is_object()) return false;
  const auto format = document.find("format");
  return format != document.end() && *format == SHOW_FORMAT;
}

std::optional<fs::path> scan_file(const Show& show, const fs::path& show_path) {
  if (!show.scan) return std::nullopt;
  const fs::path scan(show.scan->path);
  return scan.is_absolute() ? scan : show_path.parent_path() / scan;
}

std::string show_to_text(const Show& show) {
  check_shape(show);
  Json root = Json::object();
  root["format"] = SHOW_FORMAT;
  root["version"] = SHOW_VERSION;
  root["name"] = show.name;
  root["profile"] = {{"carrier_spacing_khz", show.profile.carrier_spacing_khz},
                     {"im3_2tone_khz", show.profile.im3_2tone_khz},
                     {"im3_3tone_khz", show.profile.im3_3tone_khz},
                     {"im5_2tone_khz", show.profile.im5_2tone_khz}};
  Json exclusions = Json::array();
  for (const Exclusion& exclusion : show.exclusions) {
    exclusions.push_back(
        {{"from_khz", exclusion.from_khz}, {"to_khz", exclusion.to_khz}, {"note", exclusion.note}});
  }
  root["exclusions"] = std::move(exclusions);
  Json carriers = Json::array();
  for (const OtherCarrier& carrier : show.other_carriers) {
    carriers.push_back({{"frequency_khz", carrier.frequency_khz}, {"note", carrier.note}});
  }
  root["other_carriers"] = std::move(carriers);
  if (show.scan) {
    // Whole levels are written as the example and users write them: -80, not -80.0.
    const double level = show.scan->threshold_dbm;
    const bool whole = std::trunc(level) == level && std::abs(level) < 1e15;
    root["scan"] = {
        {"path", show.scan->path},
        {"threshold_dbm", whole ? Json(static_cast<std::int64_t>(level)) : Json(level)}};
  }
  Json units = Json::array();
  for (const ShowUnit& unit : show.units) {
    units.push_back({{"key", unit.key}, {"locked", unit.locked}, {"settings", unit.settings}});
  }
  root["units"] = std::move(units);
  return root.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::optional<std::string> write_show(const fs::path& path, const Show& show) {
  const std::string text = show_to_text(show);
  const std::string name = path.filename().string();
  const auto failed = [&](const std::string& why) {
    return "cannot write " + path.string() + ": " + why;
  };
  if (name.empty()) return failed("not a file name");
  // Saving through a link replaces the file it points to and keeps the link; renaming over the
  // link itself would turn it into a copy.
  fs::path target = path;
  std::error_code ec;
  for (int hops = 0; fs::is_symlink(fs::symlink_status(target, ec)); ++hops) {
    if (hops == 40) return failed("too many levels of symbolic links");
    const fs::path link = fs::read_symlink(target, ec);
    if (ec) return failed(ec.message());
    target = link.is_absolute() ? link : target.parent_path() / link;
  }
  // A device, pipe or folder is never replaced by a show: that would destroy it.
  struct stat existing {};
  if (::stat(target.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode))
    return failed("not a regular file");
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  const std::string target_name = target.filename().string();

  // A dot name in the same folder: rename() is atomic only within one file system, and the
  // folder's listing does not show the file while it is being written.
  static std::atomic<unsigned> counter{0};
  fs::path temp;
  int raw = -1;
  for (int attempt = 0; attempt < 100 && raw < 0; ++attempt) {
    temp = folder / ("." + target_name + ".tmp-" + std::to_string(::getpid()) + "-" +
                     std::to_string(counter.fetch_add(1)));
    // Mode 0666 lets the umask decide, as for any new file the user saves.
    raw = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (raw < 0 && errno != EEXIST) break;
  }
  if (raw < 0) return failed(errno_text());
  Fd fd(raw);
  const auto abandon = [&](const std::string& why) {
    fd.close();
    ::unlink(temp.c_str());
    return failed(why);
  };

  // Replacing a show keeps the permissions the user gave it.
  struct stat old {};
  if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    if (::fchmod(fd.get(), old.st_mode & 07777) != 0) return abandon(errno_text());
  }
  if (!write_all(fd.get(), text)) return abandon(errno_text());
  if (::fsync(fd.get()) != 0) return abandon(errno_text());
  if (fd.close() != 0) return abandon(errno_text());
  if (::rename(temp.c_str(), target.c_str()) != 0) return abandon(errno_text());
  // Makes the rename itself durable. The new file is in place whatever this returns, and some
  // file systems cannot sync a folder, so its result does not turn success into failure.
  const Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
  return std::nullopt;
}

}  // namespace owl::frontend
