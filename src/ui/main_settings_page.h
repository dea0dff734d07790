#pragma once
// The "Settings" page of the setup sheet: the outgoing-mail identity, the SMTP
// server with its security and login, the check interval, the size limit,
// the log file, the exit option, answering automatic mail and decoding
// international text. The CA file (CAFile) has no control: it is kept as
// loaded. Built from a copy of the processor's settings; the caller reads the
// edited copy back through settings() after the sheet was accepted.
//
// The controls are filled at construction. Controls are moved back into the
// settings (and the two number fields validated) by CommitControls(), which
// the sheet calls when the user leaves the page and on OK; a page that was
// never committed hands back its starting values unchanged.
// UI thread only.

#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "config/settings.h"

class QCheckBox;
class QLineEdit;

namespace quor {

class SecurityBox;

// A number field's text read as an unsigned whole number: decimal digits with
// optional blanks or tabs around them, a leading "+" allowed. Anything else
// (empty, a minus sign, other characters) gives nothing. Values beyond 32 bits
// saturate at UINT32_MAX so that range checks still see "too large".
std::optional<uint32_t> ParseUnsignedField(std::string_view text);

class MainSettingsPage : public QWidget {
  Q_OBJECT

 public:
  static constexpr uint32_t kMaximumCheckInterval = 1000;

  explicit MainSettingsPage(const Settings& settings, QWidget* parent = nullptr);

  // Controls to settings. On a bad number: reports it, leaves the offending
  // field focused with its text selected, keeps the previous values and
  // returns false.
  bool CommitControls();

  // The values as last committed (the starting values until then).
  const Settings& settings() const { return settings_; }

  // How a validation message reaches the user; a warning box by default.
  // Tests replace it to read the text without a modal loop.
  void set_warning_presenter(std::function<void(const QString&)> presenter) {
    warning_presenter_ = std::move(presenter);
  }

 private:
  // Parses one number field against [0, maximum]; reports and focuses it on failure.
  std::optional<int32_t> ReadNumberField(QLineEdit* field, uint32_t maximum);
  void Warn(const QString& message);

  Settings settings_;
  std::function<void(const QString&)> warning_presenter_;

  QLineEdit* name_ = nullptr;
  QLineEdit* organization_ = nullptr;
  QLineEdit* email_ = nullptr;
  QLineEdit* reply_ = nullptr;
  QLineEdit* smtp_server_ = nullptr;
  SecurityBox* smtp_security_ = nullptr;
  QLineEdit* smtp_user_name_ = nullptr;
  QLineEdit* smtp_password_ = nullptr;
  QLineEdit* check_interval_ = nullptr;
  QLineEdit* size_limit_ = nullptr;
  QCheckBox* enable_log_ = nullptr;
  QLineEdit* logfile_ = nullptr;
  QCheckBox* exit_on_check_ = nullptr;
  QCheckBox* reply_to_automatic_ = nullptr;
  QCheckBox* decode_text_ = nullptr;
};

}  // namespace quor
