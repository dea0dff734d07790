#include "ui/labelled_control.h"

#include <QLabel>
#include <QString>
#include <QWidget>

namespace quor {

namespace {

// text as a label shows it: "&x" reads "x", "&&" reads "&".
QString WithoutMnemonic(const QString& text) {
  QString shown;
  shown.reserve(text.size());
  for (qsizetype index = 0; index < text.size(); ++index) {
    if (text[index] == QLatin1Char('&') && index + 1 < text.size()) ++index;
    shown.append(text[index]);
  }
  return shown;
}

}  // namespace

QLabel* NewControlLabel(const QString& text, QWidget* control, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setBuddy(control);
  control->setAccessibleName(WithoutMnemonic(text));
  return label;
}

}  // namespace quor
