#pragma once
// An editable drop-down that offers a few suggestions but takes any text the
// user types. Typing is kept exactly as typed: no inline completion (typing
// "{Re" must not turn into "{Recipient}") and Enter adds no item to the list.

#include <QComboBox>
#include <QString>
#include <QStringList>

namespace quor {

class SuggestionBox : public QComboBox {
  Q_OBJECT

 public:
  // The suggestions are shown in the order given.
  SuggestionBox(const QStringList& suggestions, QWidget* parent = nullptr);

  // Shows text in the edit part, whether or not it is one of the suggestions.
  void SetText(const QString& text);
  QString Text() const { return currentText(); }
};

}  // namespace quor
