#include "ui/show_document.hpp"

#include <QFileInfo>
#include <filesystem>

#include "settings_file.hpp"
#include "user_error.hpp"

namespace owl::desktop {

QString ShowDocument::load(const QString& path) {
  const std::filesystem::path file = path.toStdString();
  auto read = frontend::read_show(file, frontend::settings_problems);
  if (auto* problems = std::get_if<std::vector<frontend::ShowProblem>>(&read)) {
    QStringList lines;
    for (const auto& p : *problems) lines << QString::fromStdString(p.text());
    return QObject::tr("%1 cannot be opened: %2").arg(path, lines.join(QStringLiteral("; ")));
  }
  frontend::Show show = std::get<frontend::Show>(std::move(read));
  std::map<std::string, UiSettings> settings;
  try {
    for (const auto& u : show.units)
      settings[u.key] = frontend::settings_from_json(u.settings, path.toStdString()).settings;
  } catch (const frontend::UserError& e) {
    // read_show has checked the settings already; this only guards against the two drifting.
    return QObject::tr("%1 cannot be opened: %2").arg(path, QString::fromUtf8(e.what()));
  }
  show_ = std::move(show);
  settings_ = std::move(settings);
  path_ = QFileInfo(path).absoluteFilePath();
  open_ = true;
  modified_ = false;
  return {};
}

QString ShowDocument::save(const QString& path) {
  const QString target = path.isEmpty() ? path_ : QFileInfo(path).absoluteFilePath();
  frontend::Show out = show_;
  for (auto& u : out.units) u.settings = frontend::settings_to_json(settings_.at(u.key));
  // A scan named relative to the old file would point elsewhere from the new folder.
  if (out.scan && !path_.isEmpty() &&
      QFileInfo(target).absolutePath() != QFileInfo(path_).absolutePath()) {
    if (auto scan = frontend::scan_file(out, path_.toStdString())) out.scan->path = scan->string();
  }
  if (auto error = frontend::write_show(target.toStdString(), out))
    return QString::fromStdString(*error);
  show_ = std::move(out);
  path_ = target;
  modified_ = false;
  return {};
}

void ShowDocument::create(const QString& name, const std::map<std::string, UiSettings>& units) {
  show_ = frontend::Show{};
  show_.name = name.toStdString();
  settings_.clear();
  path_.clear();
  open_ = true;
  modified_ = true;
  for (const auto& [key, s] : units) set_unit(QString::fromStdString(key), s);
}

void ShowDocument::close() {
  *this = ShowDocument{};
}

bool ShowDocument::contains(const QString& key) const {
  return open_ && settings_.count(key.toStdString()) > 0;
}

std::optional<UiSettings> ShowDocument::unit(const QString& key) const {
  const auto it = settings_.find(key.toStdString());
  if (!open_ || it == settings_.end()) return std::nullopt;
  return it->second;
}

QStringList ShowDocument::keys() const {
  QStringList out;
  for (const auto& u : show_.units) out << QString::fromStdString(u.key);
  return out;
}

void ShowDocument::set_unit(const QString& key, const UiSettings& settings) {
  const std::string k = key.toStdString();
  const auto it = settings_.find(k);
  if (it != settings_.end() && it->second == settings) return;
  if (it == settings_.end()) {
    frontend::ShowUnit u;
    u.key = k;
    u.settings = frontend::settings_to_json(settings);
    show_.units.push_back(std::move(u));
  }
  settings_[k] = settings;
  modified_ = true;
}

void ShowDocument::update(const std::function<void(frontend::Show&)>& change) {
  if (!open_) return;
  frontend::Show next = show_;
  change(next);
  if (next == show_) return;
  show_ = std::move(next);
  modified_ = true;
}

}  // namespace owl::desktop
