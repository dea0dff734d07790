#include "ui/main_settings_page.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QVBoxLayout>
#include <limits>

#include "ui/labelled_control.h"
#include "ui/security_box.h"

namespace quor {

namespace {

// The profile file keeps at most this many characters of a text value, so a
// longer entry would come back cut at the next start.
constexpr int kMaximumTextLength = 4095;

bool IsBlank(char character) { return character == ' ' || character == '\t'; }

QLineEdit* NewTextField(const std::string& text, QWidget* parent) {
  auto* field = new QLineEdit(QString::fromStdString(text), parent);
  field->setMaxLength(kMaximumTextLength);
  return field;
}

// A number field followed by its unit; the row's label and the unit both
// name the field itself, not the row around it. A screen reader reads the
// field by the row's label, with the unit as its description: left to
// itself it would take the unit, the only label beside the field.
QWidget* NumberRow(QLineEdit* field, const QLabel* label, const QString& unit, QWidget* parent) {
  auto* row = new QWidget(parent);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  field->setMaximumWidth(80);
  field->setAccessibleName(label->text());
  field->setAccessibleDescription(unit);
  layout->addWidget(field);
  auto* unit_label = new QLabel(unit, row);
  unit_label->setBuddy(field);
  layout->addWidget(unit_label);
  layout->addStretch(1);
  return row;
}

}  // namespace

std::optional<uint32_t> ParseUnsignedField(std::string_view text) {
  size_t position = 0;
  while (position < text.size() && IsBlank(text[position])) ++position;
  if (position < text.size() && text[position] == '+') ++position;
  size_t digits_start = position;
  uint64_t value = 0;
  constexpr uint64_t kSaturated = std::numeric_limits<uint32_t>::max();
  while (position < text.size() && text[position] >= '0' && text[position] <= '9') {
    value = value * 10 + static_cast<uint64_t>(text[position] - '0');
    if (value > kSaturated) value = kSaturated;
    ++position;
  }
  if (position == digits_start) return std::nullopt;
  while (position < text.size() && IsBlank(text[position])) ++position;
  if (position != text.size()) return std::nullopt;
  return static_cast<uint32_t>(value);
}

MainSettingsPage::MainSettingsPage(const Settings& settings, QWidget* parent)
    : QWidget(parent), settings_(settings) {
  warning_presenter_ = [this](const QString& message) {
    QMessageBox::warning(this, tr("Invalid Entry"), message);
  };

  auto* outgoing = new QGroupBox(tr("Information to Use in Outgoing Messages"), this);
  auto* outgoing_form = new QFormLayout(outgoing);
  name_ = NewTextField(settings_.sender_name, outgoing);
  organization_ = NewTextField(settings_.organization, outgoing);
  email_ = NewTextField(settings_.email_address, outgoing);
  reply_ = NewTextField(settings_.reply_address, outgoing);
  outgoing_form->addRow(tr("Name:"), name_);
  outgoing_form->addRow(tr("Organization:"), organization_);
  outgoing_form->addRow(tr("E-mail Address:"), email_);
  outgoing_form->addRow(tr("Reply-To:"), reply_);

  auto* form = new QFormLayout;
  smtp_server_ = NewTextField(settings_.smtp_server, this);
  form->addRow(tr("Outgoing Mail (SMTP) Server:"), smtp_server_);
  smtp_security_ = new SecurityBox(settings_.smtp_security, this);
  form->addRow(NewControlLabel(tr("SMTP &Security:"), smtp_security_, this), smtp_security_);
  smtp_user_name_ = NewTextField(settings_.smtp_user_name, this);
  form->addRow(tr("SMTP &User Name:"), smtp_user_name_);
  smtp_password_ = NewTextField(settings_.smtp_password, this);
  smtp_password_->setEchoMode(QLineEdit::Password);
  form->addRow(tr("SMTP &Password:"), smtp_password_);
  check_interval_ = new QLineEdit(QString::number(settings_.check_interval_minutes), this);
  auto* interval_label = new QLabel(tr("Check Incoming Mail Every:"), this);
  interval_label->setBuddy(check_interval_);
  form->addRow(interval_label, NumberRow(check_interval_, interval_label, tr("minutes"), this));
  size_limit_ = new QLineEdit(QString::number(settings_.size_limit_kilobytes), this);
  auto* size_label = new QLabel(tr("Ignore Message Larger Than:"), this);
  size_label->setBuddy(size_limit_);
  form->addRow(size_label,
               NumberRow(size_limit_, size_label, tr("kilobytes (0 for no limit)"), this));

  // The path field has no label of its own: the check box names it.
  auto* log_row = new QHBoxLayout;
  enable_log_ = new QCheckBox(tr("Log All Events to a File:"), this);
  enable_log_->setChecked(settings_.log_to_file);
  logfile_ = NewTextField(settings_.log_file, this);
  logfile_->setAccessibleName(tr("Log file"));
  log_row->addWidget(enable_log_);
  log_row->addWidget(logfile_, 1);

  exit_on_check_ = new QCheckBox(tr("Exit Automatically After Checking Messages"), this);
  exit_on_check_->setChecked(settings_.exit_after_check);
  reply_to_automatic_ = new QCheckBox(tr("&Reply to automatic messages"), this);
  reply_to_automatic_->setChecked(settings_.reply_to_automatic);
  decode_text_ = new QCheckBox(tr("&Decode international text"), this);
  decode_text_->setChecked(settings_.decode_text);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(outgoing);
  layout->addLayout(form);
  layout->addLayout(log_row);
  layout->addWidget(exit_on_check_);
  layout->addWidget(reply_to_automatic_);
  layout->addWidget(decode_text_);
  layout->addStretch(1);
}

bool MainSettingsPage::CommitControls() {
  std::optional<int32_t> check_interval = ReadNumberField(check_interval_, kMaximumCheckInterval);
  if (!check_interval) return false;
  // The limit has no bound of its own; the stored value is a signed 32-bit
  // number, so anything larger would come back negative.
  std::optional<int32_t> size_limit =
      ReadNumberField(size_limit_, static_cast<uint32_t>(std::numeric_limits<int32_t>::max()));
  if (!size_limit) return false;

  settings_.sender_name = name_->text().toStdString();
  settings_.organization = organization_->text().toStdString();
  settings_.email_address = email_->text().toStdString();
  settings_.reply_address = reply_->text().toStdString();
  settings_.smtp_server = smtp_server_->text().toStdString();
  settings_.smtp_security = smtp_security_->Security();
  settings_.smtp_user_name = smtp_user_name_->text().toStdString();
  settings_.smtp_password = smtp_password_->text().toStdString();
  settings_.check_interval_minutes = *check_interval;
  settings_.size_limit_kilobytes = *size_limit;
  settings_.log_to_file = enable_log_->isChecked();
  settings_.log_file = logfile_->text().toStdString();
  settings_.exit_after_check = exit_on_check_->isChecked();
  settings_.reply_to_automatic = reply_to_automatic_->isChecked();
  settings_.decode_text = decode_text_->isChecked();
  return true;
}

std::optional<int32_t> MainSettingsPage::ReadNumberField(QLineEdit* field, uint32_t maximum) {
  std::optional<uint32_t> value = ParseUnsignedField(field->text().toStdString());
  QString message;
  if (!value) {
    message = tr("Please enter a positive integer.");
  } else if (*value > maximum) {
    message = tr("Please enter an integer between %1 and %2.").arg(0).arg(maximum);
  } else {
    return static_cast<int32_t>(*value);
  }
  Warn(message);
  field->setFocus(Qt::OtherFocusReason);
  field->selectAll();
  return std::nullopt;
}

void MainSettingsPage::Warn(const QString& message) { warning_presenter_(message); }

}  // namespace quor
