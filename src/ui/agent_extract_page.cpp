#include "ui/agent_extract_page.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/agent_editor_text.h"
#include "ui/suggestion_box.h"

namespace quor {

namespace {

QString MarkerText(const std::string& text, MarkerKind kind) {
  if (kind == MarkerKind::kText) return "'" + ToQString(text) + "'";
  return ToQString(text);
}

}  // namespace

MarkerKind MarkerKindOf(const std::string& text) {
  if (text == "{End of line}") return MarkerKind::kEndOfLine;
  if (text == "{Any blank space}") return MarkerKind::kAnyBlank;
  if (text == "{Tab character}") return MarkerKind::kTab;
  if (text == "{End of message}") return MarkerKind::kEndOfMessage;
  if (text == "{Next character}") return MarkerKind::kNextCharacter;
  return MarkerKind::kText;
}

QString ExtractionRowText(const AgentExtraction& rule) {
  QString row;
  if (!rule.variable_name.empty()) row += "{" + ToQString(rule.variable_name) + "} = ";
  if (!rule.start_text.empty())
    row += "Extract after " + MarkerText(rule.start_text, rule.start_kind);
  if (!rule.end_text.empty()) row += " until " + MarkerText(rule.end_text, rule.end_kind);
  return row;
}

AgentExtractPage::AgentExtractPage(const std::vector<AgentExtraction>& rules, QWidget* parent)
    : QWidget(parent) {
  auto* group = new QGroupBox(QStringLiteral("Information To Extract From Incoming Message"), this);
  // "{End of message}" is offered only as an end; typed as a begin it still
  // gets its code.
  begin_ = new SuggestionBox(
      {"{Any blank space}", "{End of line}", "{Next character}", "{Tab character}"}, group);
  end_ = new SuggestionBox({"{Any blank space}", "{End of line}", "{End of message}",
                            "{Next character}", "{Tab character}"},
                           group);
  variable_ = new QLineEdit(group);

  auto* add = new QPushButton(QStringLiteral("&Add"), group);
  auto* replace = new QPushButton(QStringLiteral("&Replace"), group);
  auto* insert = new QPushButton(QStringLiteral("&Insert"), group);
  auto* remove = new QPushButton(QStringLiteral("&Delete"), group);
  rows_ = new QListWidget(group);
  rows_->setAccessibleName(QStringLiteral("Extraction rules"));

  connect(add, &QPushButton::clicked, this, &AgentExtractPage::AddRule);
  connect(replace, &QPushButton::clicked, this, &AgentExtractPage::ReplaceRule);
  connect(insert, &QPushButton::clicked, this, &AgentExtractPage::InsertRule);
  connect(remove, &QPushButton::clicked, this, &AgentExtractPage::DeleteRule);

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Begin extracting text after:"), begin_);
  form->addRow(QStringLiteral("Extract until finding:"), end_);
  form->addRow(QStringLiteral("Save extraction as variable:"), variable_);
  auto* buttons = new QHBoxLayout;
  for (QPushButton* button : {add, replace, insert, remove}) buttons->addWidget(button);
  buttons->addStretch(1);
  auto* group_layout = new QVBoxLayout(group);
  group_layout->addLayout(form);
  group_layout->addLayout(buttons);
  group_layout->addWidget(rows_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);

  rules_ = std::make_unique<ListEditor<AgentExtraction>>(
      rows_, rules, RowOrder::kEntryOrder,
      [](const AgentExtraction& rule, int) { return ExtractionRowText(rule); },
      [this] { ShowSelectedRule(); }, AfterRebuild::kKeepFields);
  rules_->Rebuild(ListEditor<AgentExtraction>::kNoRow);
}

AgentExtraction AgentExtractPage::EditedRule() const {
  AgentExtraction rule;
  rule.start_text = ToStdString(begin_->Text());
  rule.start_kind = MarkerKindOf(rule.start_text);
  rule.end_text = ToStdString(end_->Text());
  rule.end_kind = MarkerKindOf(rule.end_text);
  rule.variable_name = ToStdString(variable_->text());
  return rule;
}

void AgentExtractPage::ShowSelectedRule() {
  const int index = rules_->SelectedIndex();
  if (index < 0) return;
  const AgentExtraction& rule = rules_->at(index);
  begin_->SetText(ToQString(rule.start_text));
  end_->SetText(ToQString(rule.end_text));
  variable_->setText(ToQString(rule.variable_name));
}

void AgentExtractPage::AddRule() {
  // Appending at the end leaves the selected rule at its index.
  const int selected = rules_->SelectedIndex();
  rules_->Append(EditedRule());
  rules_->Rebuild(selected);
}

void AgentExtractPage::InsertRule() {
  const int selected = rules_->SelectedIndex();
  if (selected < 0) return;
  rules_->Insert(selected, EditedRule());
  rules_->Rebuild(selected);
}

void AgentExtractPage::ReplaceRule() {
  const int selected = rules_->SelectedIndex();
  if (selected < 0) return;
  rules_->Replace(selected, EditedRule());
  rules_->Rebuild(selected);
}

void AgentExtractPage::DeleteRule() {
  const int selected = rules_->SelectedIndex();
  if (selected < 0) return;
  rules_->Erase(selected);
  rules_->Rebuild(ListEditor<AgentExtraction>::kNoRow);
}

}  // namespace quor
