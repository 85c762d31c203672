#include "ui/engine_bridge.hpp"

#include <QMetaObject>
#include <exception>
#include <mutex>
#include <type_traits>
#include <utility>

#include "owl_client.hpp"

namespace owl::desktop {

namespace {

QString q(const std::string& text) {
  return QString::fromStdString(text);
}

QStringList q(const std::vector<std::string>& texts) {
  QStringList out;
  out.reserve(static_cast<qsizetype>(texts.size()));
  for (const auto& t : texts) out.push_back(q(t));
  return out;
}

}  // namespace

// Engine callbacks may outlive the bridge (the engine never stops); they reach it through this
// relay, which the bridge detaches when it goes away.
struct EngineBridge::Relay {
  std::mutex mutex;
  EngineBridge* target = nullptr;

  template <class F>
  void post(F&& f) {
    std::lock_guard lock(mutex);
    if (target == nullptr) return;
    // Posted under the lock: the bridge cannot be destroyed before the event is queued, and
    // QObject's destructor discards events still queued for it.
    QMetaObject::invokeMethod(
        target, [t = target, fn = std::forward<F>(f)]() mutable { fn(*t); }, Qt::QueuedConnection);
  }
};

EngineBridge::EngineBridge(QObject* parent) : QObject(parent), relay_(std::make_shared<Relay>()) {
  relay_->target = this;
}

EngineBridge::~EngineBridge() {
  std::lock_guard lock(relay_->mutex);
  relay_->target = nullptr;
}

void EngineBridge::start(bool simulator) {
  simulator_ = simulator;
  client::Client* client = nullptr;
  try {
    client = &client::Client::instance();
    options_ = client->enum_options();
  } catch (const std::exception& e) {
    emit failed(QStringLiteral("The engine could not be reached: %1").arg(e.what()));
    return;
  }
  auto relay = relay_;
  client->initialize([relay, client, simulator](client::Result<client::Nothing> r) {
    if (!r) {
      relay->post([msg = q(r.error())](EngineBridge& b) {
        emit b.failed(QStringLiteral("initialize failed: %1").arg(msg));
      });
      return;
    }
    client->start(simulator, [relay](client::Result<client::Nothing> s) {
      if (!s) {
        relay->post([msg = q(s.error())](EngineBridge& b) {
          emit b.failed(QStringLiteral("start failed: %1").arg(msg));
        });
        return;
      }
      relay->post([](EngineBridge& b) { b.subscribe(); });
    });
  });
}

void EngineBridge::subscribe() {
  auto relay = relay_;
  client::Client::instance().event_stream(
      [relay](UiEvent event) {
        relay->post([e = std::move(event)](EngineBridge& b) { b.handle_event(e); });
      },
      [relay] { relay->post([](EngineBridge& b) { emit b.event_stream_closed(); }); },
      [relay](client::Result<client::Nothing> r) {
        relay->post([ok = r.has_value(), msg = r ? QString() : q(r.error())](EngineBridge& b) {
          if (ok) {
            emit b.ready();
          } else {
            emit b.failed(QStringLiteral("event stream failed: %1").arg(msg));
          }
        });
      });
}

void EngineBridge::handle_event(const UiEvent& event) {
  std::visit(
      [this](const auto& e) {
        using T = std::decay_t<decltype(e)>;
        if constexpr (std::is_same_v<T, ui_event::Announced>) {
          emit announced(q(e.key), q(e.label));
        } else if constexpr (std::is_same_v<T, ui_event::Stopped>) {
          emit stopped(q(e.key), q(e.reason));
        } else if constexpr (std::is_same_v<T, ui_event::Settings>) {
          emit settings_reported(q(e.key), e.settings);
        } else if constexpr (std::is_same_v<T, ui_event::Identity>) {
          emit identity_reported(q(e.key), q(e.text));
        } else if constexpr (std::is_same_v<T, ui_event::WriteResult>) {
          emit write_result(q(e.key), e.ok, q(e.message));
        } else {
          emit port_problems(q(e.lines));
        }
      },
      event);
}

void EngineBridge::check(const QString& key, const UiSettings& form, quint64 sequence) {
  auto relay = relay_;
  client::Client::instance().check_settings(
      key.toStdString(), form, [relay, key, sequence](client::Result<std::vector<std::string>> r) {
        relay->post([key, sequence, problems = r ? q(*r) : QStringList{q(r.error())}](
                        EngineBridge& b) { emit b.checked(key, sequence, problems); });
      });
}

void EngineBridge::write(const QString& key, const UiSettings& form, bool keep_name,
                         bool keep_charge) {
  auto relay = relay_;
  client::Client::instance().write_settings(
      key.toStdString(), form, keep_name, keep_charge,
      [relay, key](client::Result<std::vector<std::string>> r) {
        relay->post([key, problems = r ? q(*r) : QStringList{q(r.error())}](EngineBridge& b) {
          emit b.write_answered(key, problems);
        });
      });
}

void EngineBridge::write_all(const UiSettings& form, bool keep_charge) {
  auto relay = relay_;
  client::Client::instance().write_all_settings(
      form, keep_charge, [relay](client::Result<std::vector<UnitWriteReport>> r) {
        std::vector<WriteAllFailure> failures;
        if (!r) {
          failures.push_back({QString(), QString(), {q(r.error())}});
        } else {
          for (const auto& report : *r) {
            failures.push_back({q(report.key), q(report.unit_name), q(report.problems)});
          }
        }
        relay->post([f = std::move(failures)](EngineBridge& b) { emit b.write_all_answered(f); });
      });
}

namespace {

// Requests whose only answer is success or an engine fault report either in the log.
client::Callback<client::Nothing> report_to(std::shared_ptr<EngineBridge::Relay> relay,
                                            QString what) {
  return [relay = std::move(relay), what = std::move(what)](client::Result<client::Nothing> r) {
    relay->post([what, ok = r.has_value(), msg = r ? QString() : q(r.error())](EngineBridge& b) {
      if (ok) {
        emit b.request_done(what);
      } else {
        emit b.failed(QStringLiteral("%1 failed: %2").arg(what, msg));
      }
    });
  };
}

}  // namespace

void EngineBridge::refresh(const QString& key) {
  client::Client::instance().refresh_unit(key.toStdString(),
                                          report_to(relay_, QStringLiteral("refresh %1").arg(key)));
}

void EngineBridge::add_simulated_unit(const QString& id, quint32 serial, quint32 band_low_khz,
                                      quint32 band_high_khz, quint32 channels) {
  client::Client::instance().sim_add_unit(
      id.toStdString(), serial, band_low_khz, band_high_khz, channels,
      report_to(relay_, QStringLiteral("add simulated unit %1").arg(id)));
}

void EngineBridge::remove_simulated_unit(const QString& id) {
  client::Client::instance().sim_remove_unit(
      id.toStdString(), report_to(relay_, QStringLiteral("remove simulated unit %1").arg(id)));
}

}  // namespace owl::desktop
