#pragma once

#include <QGroupBox>
#include <QStringList>

class QLineEdit;
class QPushButton;
class QSpinBox;

namespace owl::desktop {

struct SimulatedUnitRequest {
  QString id;
  quint32 serial = 0;
  quint32 band_low_khz = 0;
  quint32 band_high_khz = 0;
  quint32 channels = 0;
};

// The box that adds and removes simulated units. It checks its own fields and says what it
// wants through signals; the window does the asking.
class SimulatorPanel : public QGroupBox {
  Q_OBJECT

 public:
  explicit SimulatorPanel(QWidget* parent = nullptr);

  // The units listed now: the id offered is the one after the highest SIMnnnn among them and
  // the one last asked for, unless the user typed an id of their own.
  void set_listed(const QStringList& keys);
  void set_remove_enabled(bool enabled);

 signals:
  void add_requested(const owl::desktop::SimulatedUnitRequest& request);
  void remove_requested();
  // Why the fields cannot make a unit.
  void refused(const QString& why);

 private:
  void add();
  void suggest();

  QLineEdit* id_ = nullptr;
  QSpinBox* serial_ = nullptr;
  QLineEdit* low_ = nullptr;
  QLineEdit* high_ = nullptr;
  QSpinBox* channels_ = nullptr;
  QPushButton* remove_ = nullptr;
  QStringList listed_;
  // The id last offered, replaced as units come and go unless the user typed another.
  QString suggested_;
  // Asked for but not listed yet, so that it is not offered again meanwhile.
  QString requested_;
};

}  // namespace owl::desktop
