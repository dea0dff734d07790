#include "ui/suggestion_box.h"

namespace quor {

SuggestionBox::SuggestionBox(const QStringList& suggestions, QWidget* parent) : QComboBox(parent) {
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);
  setCompleter(nullptr);
  addItems(suggestions);
  SetText(QString());
}

void SuggestionBox::SetText(const QString& text) {
  // Adding items makes the first one current, which would put a suggestion in
  // the edit part of an empty value.
  setCurrentIndex(-1);
  setEditText(text);
}

}  // namespace quor
