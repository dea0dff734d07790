#pragma once
// Base of the five action editors. Each editor is built from a copy of one
// AgentAction, shows its properties in controls and, only when the user
// presses OK, writes every property it owns back into that copy. The caller
// reads the result through action() after exec() returned Accepted; on Cancel
// the copy is left as it came and the caller drops it.
//
// File choosers are injectable: each "..." button calls a FileChooser, which
// by default opens the platform's chooser and which tests replace to play
// "the user picked X" (a path) or "the user cancelled" (an empty text).
//
// User-interface thread only.

#include <QDialog>
#include <QString>
#include <QStringList>
#include <functional>
#include <string>

#include "config/mail_agent.h"

class QDialogButtonBox;
class QLayout;

namespace quor {

// Returns the path the user confirmed, or an empty text when they cancelled.
using FileChooser = std::function<QString()>;

class ActionDialog : public QDialog {
  Q_OBJECT

 public:
  // The action with the properties written by OK (unchanged before that).
  const AgentAction& action() const { return action_; }

  void accept() override;

 protected:
  ActionDialog(const QString& title, const AgentAction& action, QWidget* parent);

  // Writes every property the editor owns, changed or not.
  virtual void StoreProperties(AgentAction& action) const = 0;

  // Puts content above the OK and Cancel buttons; call once, at the end of
  // the constructor. The buttons come after the content in Tab order and the
  // editor opens with the focus on the content's first field.
  void SetContent(QLayout* content);

  // The text of a property as the widgets show it.
  QString Text(const std::string& property_name) const;
  // A flag property: any non-zero leading number is on.
  bool Flag(const std::string& property_name) const;
  // Entries prefix0 .. prefix(count-1) of a numbered family, absent ones empty.
  QStringList NumberedList(const std::string& count_name, const std::string& prefix) const;

  static void SetText(AgentAction& action, const std::string& property_name, const QString& value);
  static void SetFlag(AgentAction& action, const std::string& property_name, bool on);
  // Writes the count and entries 0 .. size-1; entries beyond stay untouched.
  static void SetNumberedList(AgentAction& action, const std::string& count_name,
                              const std::string& prefix, const QStringList& entries);

 private:
  AgentAction action_;
  QDialogButtonBox* buttons_ = nullptr;
};

// How many entries of a numbered family the editor lists: the count, except
// that a count far beyond the entries the action holds (a damaged file saying
// two thousand million) would fill the list with empty rows for minutes. Then
// the list ends after the last entry that really exists.
int32_t ListedEntryCount(const AgentAction& action, const std::string& count_name,
                         const std::string& prefix);

}  // namespace quor
