#pragma once
// "Actions" page of the agent editor: the ordered list of actions the agent
// performs. Built from a copy of the actions; "&Add..." and "&Edit..." open
// the editor of the action's type (none for "Delete Incoming Message" and
// "Play a Sound") and change the working list only when it returns OK.
//
// The "Save Message Data to a File" editor offers the variables of the agent
// being edited; the page asks its ExtractionSource for them each time that
// editor opens, so rules added a moment ago on the Extraction page count.
// User-interface thread only.

#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "config/mail_agent.h"
#include "ui/list_editor.h"

class QComboBox;
class QListWidget;
class QPushButton;

namespace quor {

class ActionDialog;

// The editor dialog of an action's type, or nothing for types without one.
std::unique_ptr<ActionDialog> NewActionEditor(const AgentAction& action,
                                              const std::vector<AgentExtraction>& rules,
                                              QWidget* parent);

class AgentActionsPage : public QWidget {
  Q_OBJECT

 public:
  using ExtractionSource = std::function<std::vector<AgentExtraction>()>;
  // Shows an action editor modally and returns its result (QDialog::Accepted
  // or Rejected). Tests replace it to fill in and close the editor.
  using EditorRunner = std::function<int(ActionDialog&)>;

  AgentActionsPage(const std::vector<AgentAction>& actions, ExtractionSource rules,
                   QWidget* parent = nullptr);

  const std::vector<AgentAction>& actions() const { return actions_->entries(); }

  void SetEditorRunner(EditorRunner runner) { run_editor_ = std::move(runner); }

 private:
  void AddAction();
  void EditAction();
  void MoveActionUp();
  void MoveActionDown();
  void DeleteAction();
  void UpdateButtons();

  // Opens the editor of the action's type; true when the user pressed OK, and
  // then action holds the edited properties. False for types without editor.
  bool EditWithDialog(AgentAction& action);

  QComboBox* types_ = nullptr;
  QListWidget* rows_ = nullptr;
  QPushButton* edit_ = nullptr;
  QPushButton* move_up_ = nullptr;
  QPushButton* move_down_ = nullptr;
  QPushButton* delete_ = nullptr;
  std::unique_ptr<ListEditor<AgentAction>> actions_;
  ExtractionSource rules_;
  EditorRunner run_editor_;
};

}  // namespace quor
