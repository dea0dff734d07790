#include "ui/first_field.h"

#include <QWidget>

namespace quor {

void FocusFirstField(QWidget* container) {
  QWidget* window = container->window();
  for (QWidget* widget = window->nextInFocusChain(); widget != window;
       widget = widget->nextInFocusChain()) {
    if (!container->isAncestorOf(widget)) continue;
    if ((widget->focusPolicy() & Qt::TabFocus) != Qt::TabFocus) continue;
    if (widget->focusProxy() || !widget->isEnabled() || !widget->isVisibleTo(window)) continue;
    widget->setFocus(Qt::OtherFocusReason);
    return;
  }
}

}  // namespace quor
