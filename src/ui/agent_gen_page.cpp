#include "ui/agent_gen_page.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

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
    : QWidget(parent), conditions_(conditions) {
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
  rows_->setSelectionMode(QAbstractItemView::SingleSelection);

  connect(add, &QPushButton::clicked, this, &AgentGenPage::AddCondition);
  connect(replace, &QPushButton::clicked, this, &AgentGenPage::ReplaceCondition);
  connect(insert, &QPushButton::clicked, this, &AgentGenPage::InsertCondition);
  connect(remove, &QPushButton::clicked, this, &AgentGenPage::DeleteCondition);
  connect(rows_, &QListWidget::itemSelectionChanged, this, &AgentGenPage::ShowSelectedCondition);

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
  Rebuild(-1);
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

int AgentGenPage::SelectedIndex() const {
  const QList<QListWidgetItem*> selected = rows_->selectedItems();
  if (selected.isEmpty()) return -1;
  return selected.first()->data(Qt::UserRole).toInt();
}

void AgentGenPage::ShowSelectedCondition() {
  const int index = SelectedIndex();
  if (index >= 0) ShowCondition(conditions_[index]);
}

void AgentGenPage::Rebuild(int selected_index) {
  {
    const QSignalBlocker blocker(rows_);
    rows_->clear();
    for (size_t index = 0; index < conditions_.size(); ++index) {
      auto* item = new QListWidgetItem(
          ConditionRowText(conditions_[index],
                           index == 0 ? ConditionRowPlace::kFirst : ConditionRowPlace::kFollowing),
          rows_);
      item->setData(Qt::UserRole, static_cast<int>(index));
    }
    rows_->setCurrentRow(selected_index);
    if (selected_index < 0) rows_->clearSelection();
  }
  ShowSelectedCondition();
}

void AgentGenPage::AddCondition() {
  conditions_.push_back(EditedCondition());
  Rebuild(static_cast<int>(conditions_.size()) - 1);
}

void AgentGenPage::InsertCondition() {
  const AgentCondition condition = EditedCondition();
  const int selected = SelectedIndex();
  if (selected < 0) {
    conditions_.push_back(condition);
    Rebuild(0);
    return;
  }
  conditions_.insert(conditions_.begin() + selected, condition);
  // The row that was selected stays selected, one place lower.
  Rebuild(selected + 1);
}

void AgentGenPage::ReplaceCondition() {
  const int selected = SelectedIndex();
  if (selected < 0) return;
  conditions_[selected] = EditedCondition();
  Rebuild(selected);
}

void AgentGenPage::DeleteCondition() {
  const int selected = SelectedIndex();
  if (selected < 0) return;
  conditions_.erase(conditions_.begin() + selected);
  const int last = static_cast<int>(conditions_.size()) - 1;
  Rebuild(selected <= last ? selected : last);
}

}  // namespace quor
