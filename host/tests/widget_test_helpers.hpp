// What the desktop's widget tests share: named children, answers to the modal window a call is
// about to open, typing into a frequency cell and counting painted pixels.
#pragma once

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <functional>

template <class T>
T* child(const QObject& parent, const char* name) {
  T* found = parent.findChild<T*>(QString::fromLatin1(name));
  if (found == nullptr) qFatal("no child %s", name);
  return found;
}

// Runs `act` on the modal window of type T that the next call opens, once it is up.
template <class T>
void on_modal(std::function<void(T*)> act) {
  QTimer::singleShot(0, [act] {
    auto* modal = qobject_cast<T*>(QApplication::activeModalWidget());
    if (modal == nullptr) qFatal("no %s was opened", T::staticMetaObject.className());
    act(modal);
  });
}

// Opens a channel's frequency cell for typing.
inline QLineEdit* open_frequency_cell(QTableWidget* table, int row = 0) {
  table->setCurrentCell(row, 0);
  table->editItem(table->item(row, 0));
  auto* editor = table->findChild<QLineEdit*>("frequency_editor");
  if (editor == nullptr) qFatal("no frequency editor");
  return editor;
}

// Types over what the field holds, as a user selecting all first would.
inline void type_into(QLineEdit* edit, const QString& text) {
  edit->selectAll();
  QTest::keyClicks(edit, text);
}

// Pixels of the image that have exactly this colour.
inline int count_colour(const QImage& image, const QColor& colour) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) n += image.pixelColor(x, y).rgb() == colour.rgb();
  }
  return n;
}
