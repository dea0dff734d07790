#pragma once
// "Extraction" page of the agent editor: the rules that cut named variables
// out of a matching message. Built from a copy of the rules; the buttons work
// on the page's working list, which the agent editor reads back on OK and
// which the "Save Message Data to a File" editor reads while the agent editor
// is still open. User-interface thread only.

#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "config/mail_agent.h"
#include "ui/list_editor.h"

class QLineEdit;
class QListWidget;

namespace quor {

class SuggestionBox;

// The marker kind of a begin or end text: the token's code when the whole
// text is exactly one of the five tokens (letter case counts), otherwise 0.
MarkerKind MarkerKindOf(const std::string& text);

// "{total} = Extract after 'Total:' until {End of line}": plain texts between
// apostrophes, tokens bare, empty pieces left out.
QString ExtractionRowText(const AgentExtraction& rule);

class AgentExtractPage : public QWidget {
  Q_OBJECT

 public:
  explicit AgentExtractPage(const std::vector<AgentExtraction>& rules, QWidget* parent = nullptr);

  // The working list, with every change made so far.
  const std::vector<AgentExtraction>& extractions() const { return rules_->entries(); }

 private:
  void AddRule();
  void InsertRule();
  void ReplaceRule();
  void DeleteRule();
  void ShowSelectedRule();

  // The rule the three controls describe, with both marker kinds computed.
  AgentExtraction EditedRule() const;

  SuggestionBox* begin_ = nullptr;
  SuggestionBox* end_ = nullptr;
  QLineEdit* variable_ = nullptr;
  QListWidget* rows_ = nullptr;
  // Rebuilding the rows leaves the controls with their text.
  std::unique_ptr<ListEditor<AgentExtraction>> rules_;
};

}  // namespace quor
