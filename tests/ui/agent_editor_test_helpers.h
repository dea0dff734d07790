#pragma once
// Finding controls the way a person does: buttons by their text, fields by
// the label that names them, lists by their accessible name. A control that
// is not found fails the test at the lookup, with the text that was sought.

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QTest>
#include <QWidget>

namespace quor {

template <typename Control = QAbstractButton>
Control* ButtonNamed(QWidget* root, const QString& text) {
  for (Control* button : root->findChildren<Control*>()) {
    if (button->text() == text) return button;
  }
  qWarning("no button \"%s\"", qPrintable(text));
  return nullptr;
}

template <typename Control>
Control* FieldLabelled(QWidget* root, const QString& label_text) {
  for (QLabel* label : root->findChildren<QLabel*>()) {
    if (label->text() == label_text) {
      if (auto* control = qobject_cast<Control*>(label->buddy())) return control;
    }
  }
  qWarning("no control labelled \"%s\"", qPrintable(label_text));
  return nullptr;
}

template <typename Control>
Control* ControlNamed(QWidget* root, const QString& accessible_name) {
  for (Control* control : root->findChildren<Control*>()) {
    if (control->accessibleName() == accessible_name) return control;
  }
  qWarning("no control named \"%s\"", qPrintable(accessible_name));
  return nullptr;
}

inline QStringList RowTexts(const QListWidget* list) {
  QStringList rows;
  for (int row = 0; row < list->count(); ++row) rows.append(list->item(row)->text());
  return rows;
}

inline QStringList ItemTexts(const QComboBox* box) {
  QStringList items;
  for (int index = 0; index < box->count(); ++index) items.append(box->itemText(index));
  return items;
}

// The row that is selected, or -1.
inline int SelectedRow(const QListWidget* list) {
  const QList<QListWidgetItem*> selected = list->selectedItems();
  return selected.isEmpty() ? -1 : list->row(selected.first());
}

inline void ClickRow(QListWidget* list, int row) {
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualItemRect(list->item(row)).center());
}

// No window or dialog may outlive the test that opened it.
inline bool NoWindowOpen() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->isVisible()) return false;
  }
  return true;
}

}  // namespace quor
