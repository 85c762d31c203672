#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "records.hpp"

namespace owl::desktop {

struct WriteAllFailure {
  QString key;
  QString unit_name;
  QStringList problems;
};

// The one place of the desktop program that calls the engine. Engine answers arrive on engine
// threads; they are handed to this object's thread and come out as Qt signals there.
class EngineBridge : public QObject {
  Q_OBJECT

 public:
  explicit EngineBridge(QObject* parent = nullptr);
  ~EngineBridge() override;

  // initialize, start and event_stream, each after the previous one answered; emits ready().
  void start(bool simulator);
  bool simulator() const { return simulator_; }
  // Empty until the engine is reachable (the client could be created).
  const EnumOptions& options() const { return options_; }

  // Each check carries a sequence number so that the caller can drop answers it no longer needs.
  void check(const QString& key, const UiSettings& form, quint64 sequence);
  void write(const QString& key, const UiSettings& form, bool keep_name, bool keep_charge);
  void write_all(const UiSettings& form, bool keep_charge);
  void refresh(const QString& key);
  void add_simulated_unit(const QString& id, quint32 serial, quint32 band_low_khz,
                          quint32 band_high_khz, quint32 channels);
  void remove_simulated_unit(const QString& id);

 signals:
  void ready();
  void failed(const QString& message);
  void announced(const QString& key, const QString& label);
  void stopped(const QString& key, const QString& reason);
  void settings_reported(const QString& key, const owl::UiSettings& settings);
  void identity_reported(const QString& key, const QString& text);
  void write_result(const QString& key, bool ok, const QString& message);
  void port_problems(const QStringList& lines);
  void event_stream_closed();
  void checked(const QString& key, quint64 sequence, const QStringList& problems);
  // An empty list means the write went out; otherwise the engine refused it with these texts.
  void write_answered(const QString& key, const QStringList& problems);
  void write_all_answered(const std::vector<owl::desktop::WriteAllFailure>& failures);
  void request_done(const QString& what);

 public:
  struct Relay;

 private:
  void subscribe();
  void handle_event(const UiEvent& event);

  std::shared_ptr<Relay> relay_;
  EnumOptions options_;
  bool simulator_ = false;
};

}  // namespace owl::desktop
