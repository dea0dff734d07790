#pragma once
// "General" page of the agent editor: the agent's name and its condition
// chain. Built from copies of the name and conditions; every button works on
// the page's own working list, which the agent editor reads back on OK.
//
// The four editing controls (join, field, operator, value) always show the
// condition of the selected row; "&Add", "&Insert" and "&Replace" read them.
// Rows are rebuilt from the working list after every change, so each row shows
// the join prefix that belongs to its position. User-interface thread only.

#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "config/mail_agent.h"
#include "ui/list_editor.h"

class QComboBox;
class QLineEdit;
class QListWidget;

namespace quor {

// The first row never shows its join, although the join is stored.
enum class ConditionRowPlace { kFirst, kFollowing };

// "  OR  Sender  is  'x'" for a following condition, "Sender  is  'x'" first.
QString ConditionRowText(const AgentCondition& condition, ConditionRowPlace place);

class AgentGenPage : public QWidget {
  Q_OBJECT

 public:
  AgentGenPage(const std::string& name, const std::vector<AgentCondition>& conditions,
               QWidget* parent = nullptr);

  std::string agentName() const;
  const std::vector<AgentCondition>& conditions() const { return conditions_->entries(); }

 private:
  void AddCondition();
  void InsertCondition();
  void ReplaceCondition();
  void DeleteCondition();
  void ShowSelectedCondition();

  // The condition the four editing controls describe.
  AgentCondition EditedCondition() const;
  void ShowCondition(const AgentCondition& condition);

  QLineEdit* name_ = nullptr;
  QComboBox* join_ = nullptr;
  QComboBox* field_ = nullptr;
  QComboBox* operator_ = nullptr;
  QLineEdit* value_ = nullptr;
  QListWidget* rows_ = nullptr;
  std::unique_ptr<ListEditor<AgentCondition>> conditions_;
};

}  // namespace quor
