#pragma once
// Small text helpers shared by the agent editor and the action editors.
// The model keeps 8-bit texts in std::string (UTF-8 on this platform); the
// widgets show QString. Lists that the user sees "alphabetically" are sorted
// the way a sorted list box does it: letter case ignored, ties kept stable.

#include <QString>
#include <QStringList>
#include <string>

namespace quor {

inline QString ToQString(const std::string& text) { return QString::fromStdString(text); }
inline std::string ToStdString(const QString& text) { return text.toStdString(); }

// The items in alphabetical order, letter case ignored; equal items stay in
// their given order.
QStringList SortedAlphabetically(QStringList items);

}  // namespace quor
