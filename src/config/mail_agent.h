#pragma once
// The in-memory form of the user's mail agents. Plain values: the processor
// owns its agent list, the setup sheet and the agent editor work on copies.
// Every encoding here is the one stored in the agents file and read by the
// engine; nothing in this header has behaviour beyond construction and lookup.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace quor {

// Action type numbers as stored in the agents file. There is no 7; any number
// outside this list stays in its agent, is saved again and does nothing.
enum class ActionType : int32_t {
  kDelete = 1,
  kSend = 2,
  kSound = 3,
  kSaveData = 4,
  kRunProgram = 5,
  kForward = 6,
  kSaveAttachments = 8,
};

// Display name of a known type ("Forward Incoming Message"), empty for others.
const char* ActionTypeName(ActionType type);

// How a condition's result is folded into the running result of the ones
// before it. A file may hold other numbers; they are kept as they are.
enum class ConditionJoin : int32_t {
  kAnd = 0,
  kOr = 1,
};

// True for kAnd and kOr, the joins the engine folds by.
bool IsKnownJoin(ConditionJoin join);

// Marker kinds of an extraction rule, the same numbers for start and end. A
// file may hold other numbers; they are kept as they are.
enum class MarkerKind : int32_t {
  kText = 0,
  kAnyBlank = 1,
  kTab = 2,
  kEndOfLine = 3,
  kEndOfMessage = 4,
  kNextCharacter = 5,
};

// True for the kinds above, the ones an editor writes.
bool IsKnownMarkerKind(MarkerKind kind);

struct AgentCondition {
  // "Subject", "Recipient", "Sender", "Reply-To", "Date", "Message-Body", "Mailbox"
  std::string field;
  std::string operator_name;                 // "contains", "does not contain", "is", "is not"
  std::string value;                         // compared with the field's text
  ConditionJoin join = ConditionJoin::kAnd;  // ignored on the first condition

  bool operator==(const AgentCondition&) const = default;
};

struct AgentExtraction {
  MarkerKind start_kind = MarkerKind::kText;
  std::string start_text;  // literal text for MarkerKind::kText, else the token's name
  MarkerKind end_kind = MarkerKind::kText;
  std::string end_text;
  std::string variable_name;  // empty: extracted but not stored

  bool operator==(const AgentExtraction&) const = default;
};

// Names of action properties, as the agents file stores them
// (Action<j>.prop<k>.name) and the actions and the configuration check read
// them.
namespace action_property {
inline constexpr char kMailTo[] = "mailto";              // send, forward: the recipients
inline constexpr char kTemplate[] = "message";           // send: the template file
inline constexpr char kAttachCount[] = "attachCount";    // send: attachments
inline constexpr char kAttachPrefix[] = "attach";        // send: attach0, attach1, ...
inline constexpr char kProgram[] = "program";            // run a program
inline constexpr char kDirectory[] = "directory";        // save attachments
inline constexpr char kOutputFile[] = "outfile";         // save data
inline constexpr char kSaveMethod[] = "savemethod";      // save data: see kSaveTemplateMethod
inline constexpr char kTemplateFile[] = "templatefile";  // save data
// The savemethod that writes a substituted template file.
inline constexpr int kSaveTemplateMethod = 1;
}  // namespace action_property

// An action's parameters: names are unique and compared exactly. The order of
// the list carries no meaning; it is kept so that a loaded file saves back the
// same lines in the same order.
class AgentAction {
 public:
  AgentAction() = default;
  AgentAction(std::string name, ActionType type) : name(std::move(name)), type(type) {}

  // The value of a property, or the empty text when the name is absent.
  const std::string& Property(const std::string& property_name) const;
  // Inserts the property or replaces its value.
  void SetProperty(const std::string& property_name, std::string value);
  // The value of a property read as a number (leading blanks, a sign, digits).
  int32_t NumberProperty(const std::string& property_name) const;

  const std::vector<std::pair<std::string, std::string>>& properties() const { return properties_; }

  std::string name;  // display name of its type when it was added
  // A number outside the enumerators (kept from a file) does nothing.
  ActionType type = ActionType{0};

  bool operator==(const AgentAction&) const = default;

 private:
  std::vector<std::pair<std::string, std::string>> properties_;
};

struct MailAgent {
  std::string name;
  std::vector<AgentCondition> conditions;
  std::vector<AgentAction> actions;
  std::vector<AgentExtraction> extractions;
  bool enabled = true;  // takes part in processing

  bool operator==(const MailAgent&) const = default;
};

}  // namespace quor
