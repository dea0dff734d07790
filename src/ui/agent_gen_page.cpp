#include "ui/agent_gen_page.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/agent_editor_text.h"

namespace quor {

namespace {

// Rows of the join box.
constexpr int kAndIndex = 0;
constexpr int kOrIndex = 1;

// Selects the item whose text is exactly text; a text outside the list (a
// hand-edited file's "subject") shows no item rather than a wrong one.
void SelectExactItem(QComboBox* box, const QString& text) {
  box->setCurrentIndex(box->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive));
}

}  // namespace

QString ConditionRowText(const AgentCondition& condition, ConditionRowPlace place) {
  QString row;
  if (place == ConditionRowPlace::kFollowing) {
    row =
        condition.join == ConditionJoin::kOr ? QStringLiteral("  OR  ") : QStringLiteral("  AND  ");
  }
  row += ToQString(condition.field) + "  " + ToQString(condition.operator_name) + "  '" +
         ToQString(condition.value) + "'";
  return row;
}

AgentGenPage::AgentGenPage(const std::string& name, const std::vector<AgentCondition>& conditions,
                           QWidget* parent)
    : QWidget(parent) {
  name_ = new QLineEdit(ToQString(name), this);

  auto* group = new QGroupBox(
      QStringLiteral("Run This Agent When an Incoming Message Matches These Conditions:"), this);
  join_ = new QComboBox(group);
  join_->addItems({"AND", "OR"});
  join_->setAccessibleName(QStringLiteral("Join"));
  field_ = new QComboBox(group);
  field_->addItems(SortedAlphabetically(
      {"Subject", "Recipient", "Sender", "Reply-To", "Date", "Message-Body", "Mailbox"}));
  field_->setAccessibleName(QStringLiteral("Field"));
  operator_ = new QComboBox(group);
  operator_->addItems(SortedAlphabetically({"contains", "does not contain", "is", "is not"}));
  operator_->setAccessibleName(QStringLiteral("Operator"));
  value_ = new QLineEdit(group);
  value_->setAccessibleName(QStringLiteral("Value"));

  auto* add = new QPushButton(QStringLiteral("&Add"), group);
  auto* replace = new QPushButton(QStringLiteral("&Replace"), group);
  auto* insert = new QPushButton(QStringLiteral("&Insert"), group);
  auto* remove = new QPushButton(QStringLiteral("&Delete"), group);
  rows_ = new QListWidget(group);
  rows_->setAccessibleName(QStringLiteral("Conditions"));

  connect(add, &QPushButton::clicked, this, &AgentGenPage::AddCondition);
  connect(replace, &QPushButton::clicked, this, &AgentGenPage::ReplaceCondition);
  connect(insert, &QPushButton::clicked, this, &AgentGenPage::InsertCondition);
  connect(remove, &QPushButton::clicked, this, &AgentGenPage::DeleteCondition);

  auto* editors = new QHBoxLayout;
  editors->addWidget(join_);
  editors->addWidget(field_);
  editors->addWidget(operator_);
  editors->addWidget(value_, 1);
  auto* buttons = new QHBoxLayout;
  for (QPushButton* button : {add, replace, insert, remove}) buttons->addWidget(button);
  buttons->addStretch(1);
  auto* group_layout = new QVBoxLayout(group);
  group_layout->addLayout(editors);
  group_layout->addLayout(buttons);
  group_layout->addWidget(rows_, 1);

  auto* name_form = new QFormLayout;
  name_form->addRow(QStringLiteral("Name:"), name_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(name_form);
  layout->addWidget(group, 1);

  // Starting controls: the first item of each list, an empty value.
  ShowCondition(AgentCondition{"Date", "contains", "", ConditionJoin::kAnd});
  conditions_ = std::make_unique<ListEditor<AgentCondition>>(
      rows_, conditions, RowOrder::kEntryOrder,
      [](const AgentCondition& condition, int index) {
        return ConditionRowText(
            condition, index == 0 ? ConditionRowPlace::kFirst : ConditionRowPlace::kFollowing);
      },
      [this] { ShowSelectedCondition(); }, AfterRebuild::kCallSelectionHandler);
  conditions_->Rebuild(ListEditor<AgentCondition>::kNoRow);
}

std::string AgentGenPage::agentName() const { return ToStdString(name_->text()); }

AgentCondition AgentGenPage::EditedCondition() const {
  AgentCondition condition;
  condition.field = ToStdString(field_->currentText());
  condition.operator_name = ToStdString(operator_->currentText());
  condition.value = ToStdString(value_->text());
  condition.join = join_->currentIndex() == kOrIndex ? ConditionJoin::kOr : ConditionJoin::kAnd;
  return condition;
}

void AgentGenPage::ShowCondition(const AgentCondition& condition) {
  join_->setCurrentIndex(condition.join == ConditionJoin::kOr ? kOrIndex : kAndIndex);
  SelectExactItem(field_, ToQString(condition.field));
  SelectExactItem(operator_, ToQString(condition.operator_name));
  value_->setText(ToQString(condition.value));
}

void AgentGenPage::ShowSelectedCondition() {
  const int index = conditions_->SelectedIndex();
  if (index >= 0) ShowCondition(conditions_->at(index));
}

void AgentGenPage::AddCondition() { conditions_->Rebuild(conditions_->Append(EditedCondition())); }

void AgentGenPage::InsertCondition() {
  const AgentCondition condition = EditedCondition();
  const int selected = conditions_->SelectedIndex();
  if (selected < 0) {
    conditions_->Append(condition);
    conditions_->Rebuild(0);
    return;
  }
  conditions_->Insert(selected, condition);
  // The row that was selected stays selected, one place lower.
  conditions_->Rebuild(selected + 1);
}

void AgentGenPage::ReplaceCondition() {
  const int selected = conditions_->SelectedIndex();
  if (selected < 0) return;
  conditions_->Replace(selected, EditedCondition());
  conditions_->Rebuild(selected);
}

void AgentGenPage::DeleteCondition() {
  const int selected = conditions_->SelectedIndex();
  if (selected < 0) return;
  conditions_->Erase(selected);
  // The row now at the same place is selected, or the new last one.
  conditions_->Rebuild(std::min(selected, conditions_->count() - 1));
}

}  // namespace quor
