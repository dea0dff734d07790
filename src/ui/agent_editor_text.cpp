#include "ui/agent_editor_text.h"

#include <algorithm>

namespace quor {

QStringList SortedAlphabetically(QStringList items) {
  std::stable_sort(items.begin(), items.end(), [](const QString& left, const QString& right) {
    return QString::compare(left, right, Qt::CaseInsensitive) < 0;
  });
  return items;
}

}  // namespace quor
