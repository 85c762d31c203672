#pragma once

#include <QString>
#include <functional>
#include <vector>

#include "records.hpp"
#include "ui/labels.hpp"
#include "ui_fields.hpp"

class QFormLayout;
class QWidget;

namespace owl::desktop {

// One control per settings field, chosen from the record's field table: a combo box for an
// enumeration, a check box for a flag, a spin box for a number, a line edit for text, and a
// label for a value the unit keeps. Each control's object name is the field's name.
class FieldControls {
 public:
  // The controls belong to owner; on_edit runs on every change a person makes or a load makes.
  FieldControls(QWidget* owner, std::function<void()> on_edit);

  // Plain fields go to the first layout, enumerations to the second, in the labels' order.
  void lay_out(QFormLayout* plain, QFormLayout* options) const;
  // The names each enumeration offers; the controls take them at the next fill.
  void set_options(const EnumOptions& options) { options_ = options; }
  void load(const UiSettings& settings);
  // Offers the enumerations' names again, keeping the values chosen.
  void refill_options(const UiSettings& settings);
  void clear();
  // base with the value of every editable control.
  UiSettings read(UiSettings base) const;
  // Why a value being typed cannot be kept, with the focus put there; empty when all can.
  QString commit() const;

 private:
  struct Control {
    const UiField* field;
    const FieldLabel* label;
    QWidget* widget;
  };

  EnumOptions options_;
  std::vector<Control> controls_;
};

}  // namespace owl::desktop
