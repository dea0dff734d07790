#include "ui/agent_actions_page.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "ui/action_dialog.h"
#include "ui/agent_editor_text.h"
#include "ui/execute_program_dialog.h"
#include "ui/forward_message_dialog.h"
#include "ui/save_attachments_dialog.h"
#include "ui/save_data_dialog.h"
#include "ui/send_message_dialog.h"

namespace quor {

std::unique_ptr<ActionDialog> NewActionEditor(const AgentAction& action,
                                              const std::vector<AgentExtraction>& rules,
                                              QWidget* parent) {
  switch (static_cast<ActionType>(action.type)) {
    case ActionType::kSend:
      return std::make_unique<SendMessageDialog>(action, parent);
    case ActionType::kSaveData:
      return std::make_unique<SaveDataDialog>(action, rules, parent);
    case ActionType::kRunProgram:
      return std::make_unique<ExecuteProgramDialog>(action, parent);
    case ActionType::kForward:
      return std::make_unique<ForwardMessageDialog>(action, parent);
    case ActionType::kSaveAttachments:
      return std::make_unique<SaveAttachmentsDialog>(action, parent);
    case ActionType::kDelete:
    case ActionType::kSound:
      break;
  }
  // Types without properties, and numbers no editor knows (kept from a file).
  return nullptr;
}

AgentActionsPage::AgentActionsPage(const std::vector<AgentAction>& actions, ExtractionSource rules,
                                   QWidget* parent)
    : QWidget(parent), rules_(std::move(rules)) {
  types_ = new QComboBox(this);
  struct TypeItem {
    QString name;
    int32_t type;
  };
  std::vector<TypeItem> type_items;
  for (ActionType type :
       {ActionType::kDelete, ActionType::kSend, ActionType::kSound, ActionType::kSaveData,
        ActionType::kRunProgram, ActionType::kForward, ActionType::kSaveAttachments}) {
    type_items.push_back({QString::fromLatin1(ActionTypeName(type)), static_cast<int32_t>(type)});
  }
  std::stable_sort(type_items.begin(), type_items.end(),
                   [](const TypeItem& left, const TypeItem& right) {
                     return QString::compare(left.name, right.name, Qt::CaseInsensitive) < 0;
                   });
  for (const TypeItem& item : type_items) types_->addItem(item.name, item.type);
  types_->setCurrentIndex(0);
  auto* types_label = new QLabel(QStringLiteral("Actions to perform:"), this);
  types_label->setBuddy(types_);
  auto* add = new QPushButton(QStringLiteral("&Add..."), this);

  rows_ = new QListWidget(this);
  rows_->setAccessibleName(QStringLiteral("Actions"));
  edit_ = new QPushButton(QStringLiteral("&Edit..."), this);
  move_up_ = new QPushButton(QStringLiteral("Move &Up"), this);
  move_down_ = new QPushButton(QStringLiteral("&Move Down"), this);
  delete_ = new QPushButton(QStringLiteral("&Delete"), this);

  run_editor_ = [](ActionDialog& editor) { return editor.exec(); };
  connect(add, &QPushButton::clicked, this, &AgentActionsPage::AddAction);
  connect(edit_, &QPushButton::clicked, this, &AgentActionsPage::EditAction);
  connect(move_up_, &QPushButton::clicked, this, &AgentActionsPage::MoveActionUp);
  connect(move_down_, &QPushButton::clicked, this, &AgentActionsPage::MoveActionDown);
  connect(delete_, &QPushButton::clicked, this, &AgentActionsPage::DeleteAction);

  auto* type_row = new QHBoxLayout;
  type_row->addWidget(types_, 1);
  type_row->addWidget(add);
  auto* row_buttons = new QVBoxLayout;
  for (QPushButton* button : {edit_, move_up_, move_down_, delete_}) row_buttons->addWidget(button);
  row_buttons->addStretch(1);
  auto* list_row = new QHBoxLayout;
  list_row->addWidget(rows_, 1);
  list_row->addLayout(row_buttons);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(types_label);
  layout->addLayout(type_row);
  layout->addLayout(list_row, 1);

  actions_ = std::make_unique<ListEditor<AgentAction>>(
      rows_, actions, RowOrder::kEntryOrder,
      [](const AgentAction& action, int) { return ToQString(action.name); },
      [this] { UpdateButtons(); }, AfterRebuild::kCallSelectionHandler);
  actions_->Rebuild(ListEditor<AgentAction>::kNoRow);
}

void AgentActionsPage::UpdateButtons() {
  const bool selected = actions_->SelectedIndex() >= 0;
  for (QPushButton* button : {edit_, move_up_, move_down_, delete_}) button->setEnabled(selected);
}

bool AgentActionsPage::EditWithDialog(AgentAction& action) {
  // Only the Save Data editor reads the rules, but reading them is cheap and
  // keeps the factory free of type tests.
  std::unique_ptr<ActionDialog> editor = NewActionEditor(action, rules_(), this);
  if (!editor) return false;
  if (run_editor_(*editor) != QDialog::Accepted) return false;
  action = editor->action();
  return true;
}

void AgentActionsPage::AddAction() {
  if (types_->currentIndex() < 0) return;
  AgentAction action(ToStdString(types_->currentText()),
                     static_cast<ActionType>(types_->currentData().toInt()));
  const bool has_editor = action.type != ActionType::kDelete && action.type != ActionType::kSound;
  if (has_editor && !EditWithDialog(action)) return;
  actions_->Rebuild(actions_->Append(std::move(action)));
}

void AgentActionsPage::EditAction() {
  const int selected = actions_->SelectedIndex();
  if (selected < 0) return;
  // The editor works on a copy: Cancel leaves the action as it was.
  AgentAction edited = actions_->at(selected);
  if (!EditWithDialog(edited)) return;
  actions_->Replace(selected, std::move(edited));
  actions_->Rebuild(selected);
}

void AgentActionsPage::MoveActionUp() {
  const int selected = actions_->SelectedIndex();
  if (selected <= 0) return;
  actions_->Swap(selected, selected - 1);
  actions_->Rebuild(selected - 1);
}

void AgentActionsPage::MoveActionDown() {
  const int selected = actions_->SelectedIndex();
  if (selected < 0 || selected + 1 >= actions_->count()) return;
  actions_->Swap(selected, selected + 1);
  actions_->Rebuild(selected + 1);
}

void AgentActionsPage::DeleteAction() {
  const int selected = actions_->SelectedIndex();
  if (selected < 0) return;
  actions_->Erase(selected);
  actions_->Rebuild(ListEditor<AgentAction>::kNoRow);
}

}  // namespace quor
