#pragma once
// The "Mail Agents" page of the setup sheet: the agent list with New, Edit,
// Enable, Disable and Delete. Works on a full copy of the processor's agents;
// nothing here touches the processor. The caller reads the edited list back
// through agents() after the sheet was accepted.
//
// Two orders live here. The list box shows the agents sorted by row text
// ("name<TAB>(Enabled)"); the agent order, which the processor runs and
// saves, is the order of creation, except that Edit (on OK), Enable and
// Disable move the agent concerned to the end. Each row carries its agent's
// key (through the ListEditor), so two agents with the same name are still
// told apart. UI thread only.

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "config/mail_agent.h"
#include "ui/list_editor.h"

class QListWidget;
class QPushButton;

namespace quor {

class MainAgentPage : public QWidget {
  Q_OBJECT

 public:
  // Opens the agent editor on an agent under a title; the edited agent on
  // OK, nothing on Cancel.
  using AgentEditFunction =
      std::function<std::optional<MailAgent>(const QString& title, const MailAgent& agent)>;

  MainAgentPage(std::vector<MailAgent> agents, AgentEditFunction edit_agent,
                QWidget* parent = nullptr);

  // The working list in agent order.
  std::vector<MailAgent> agents() const;

  // The list box's text for an agent: name, a tab, "(Enabled)" or "(Disabled)".
  static QString RowText(const MailAgent& agent);

  void set_edit_function(AgentEditFunction edit_agent) { edit_agent_ = std::move(edit_agent); }

 private:
  enum class Status { kEnabled, kDisabled };

  void NewAgent();
  void EditAgent();
  void EnableAgent();
  void DisableAgent();
  void DeleteAgent();
  void SetSelectedStatus(Status status);
  void UpdateButtons();
  // Puts the changed agent at the end of the agent order and selects it.
  void MoveToEndAndSelect(int index, MailAgent agent);

  AgentEditFunction edit_agent_;
  std::unique_ptr<ListEditor<MailAgent>> agents_;

  QListWidget* list_ = nullptr;
  QPushButton* new_button_ = nullptr;
  QPushButton* edit_button_ = nullptr;
  QPushButton* enable_button_ = nullptr;
  QPushButton* disable_button_ = nullptr;
  QPushButton* delete_button_ = nullptr;
};

}  // namespace quor
