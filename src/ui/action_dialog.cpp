#include "ui/action_dialog.h"

#include <QDialogButtonBox>
#include <QVBoxLayout>
#include <algorithm>
#include <charconv>

#include "ui/agent_editor_text.h"
#include "ui/first_field.h"

namespace quor {

namespace {

// The index of a property named prefix<digits>, or -1 for any other name.
int64_t EntryIndex(const std::string& property_name, const std::string& prefix) {
  if (property_name.size() <= prefix.size() || property_name.compare(0, prefix.size(), prefix) != 0)
    return -1;
  const char* first = property_name.data() + prefix.size();
  const char* last = property_name.data() + property_name.size();
  // "attach01" is not entry 1: entries are written without leading zeros.
  if (*first == '0' && last - first > 1) return -1;
  int64_t index = -1;
  auto [end, error] = std::from_chars(first, last, index);
  if (error != std::errc() || end != last) return -1;
  return index;
}

}  // namespace

int32_t ListedEntryCount(const AgentAction& action, const std::string& count_name,
                         const std::string& prefix) {
  const int32_t count = action.NumberProperty(count_name);
  if (count <= 0) return 0;
  if (static_cast<size_t>(count) <= action.properties().size()) return count;
  int64_t last_present = -1;
  for (const auto& [name, value] : action.properties()) {
    const int64_t index = EntryIndex(name, prefix);
    if (index >= 0 && index < count) last_present = std::max(last_present, index);
  }
  const int64_t listed =
      std::max<int64_t>(last_present + 1, static_cast<int64_t>(action.properties().size()));
  return static_cast<int32_t>(std::min<int64_t>(listed, count));
}

ActionDialog::ActionDialog(const QString& title, const AgentAction& action, QWidget* parent)
    : QDialog(parent), action_(action) {
  setWindowTitle(title);
}

void ActionDialog::SetContent(QLayout* content) {
  // Tab order is the order of creation: the buttons, made after every field,
  // come last.
  buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons_, &QDialogButtonBox::accepted, this, &ActionDialog::accept);
  connect(buttons_, &QDialogButtonBox::rejected, this, &ActionDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(content);
  layout->addWidget(buttons_);
  FocusFirstField(this);
}

void ActionDialog::accept() {
  StoreProperties(action_);
  QDialog::accept();
}

QString ActionDialog::Text(const std::string& property_name) const {
  return ToQString(action_.Property(property_name));
}

bool ActionDialog::Flag(const std::string& property_name) const {
  return action_.NumberProperty(property_name) != 0;
}

QStringList ActionDialog::NumberedList(const std::string& count_name,
                                       const std::string& prefix) const {
  QStringList entries;
  const int32_t count = ListedEntryCount(action_, count_name, prefix);
  for (int32_t index = 0; index < count; ++index) {
    entries.append(Text(prefix + std::to_string(index)));
  }
  return entries;
}

void ActionDialog::SetText(AgentAction& action, const std::string& property_name,
                           const QString& value) {
  action.SetProperty(property_name, ToStdString(value));
}

void ActionDialog::SetFlag(AgentAction& action, const std::string& property_name, bool on) {
  action.SetProperty(property_name, on ? "1" : "0");
}

void ActionDialog::SetNumberedList(AgentAction& action, const std::string& count_name,
                                   const std::string& prefix, const QStringList& entries) {
  action.SetProperty(count_name, std::to_string(entries.size()));
  for (qsizetype index = 0; index < entries.size(); ++index) {
    SetText(action, prefix + std::to_string(index), entries[index]);
  }
}

}  // namespace quor
