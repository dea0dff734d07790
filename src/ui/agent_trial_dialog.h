#pragma once
// Shows the trace of an agent tried on a message file (see app/message_trial.h):
// read-only, selectable text and a "&Copy" button that puts all of it on the
// clipboard. Opened by the agent editor's "&Test..." button; shows what it is
// given and does nothing else. User-interface thread only.

#include <QDialog>
#include <QString>

class QPlainTextEdit;
class QPushButton;

namespace quor {

class AgentTrialDialog : public QDialog {
  Q_OBJECT

 public:
  AgentTrialDialog(const QString& trace, QWidget* parent = nullptr);

  QString trace() const;

 private:
  void CopyTrace();

  QPlainTextEdit* text_ = nullptr;
};

}  // namespace quor
