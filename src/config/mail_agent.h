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
const char* ActionTypeName(int32_t type);

// Marker kinds of an extraction rule, the same numbers for start and end.
enum MarkerKind : int32_t {
  kMarkerText = 0,
  kMarkerAnyBlank = 1,
  kMarkerTab = 2,
  kMarkerEndOfLine = 3,
  kMarkerEndOfMessage = 4,
  kMarkerNextCharacter = 5,
};

struct AgentCondition {
  std::string
      fld;  // "Subject", "Recipient", "Sender", "Reply-To", "Date", "Message-Body", "Mailbox"
  std::string op;     // "contains", "does not contain", "is", "is not"
  std::string value;  // compared with the field's text
  int32_t join = 0;   // 0 AND, 1 OR; ignored on the first condition

  bool operator==(const AgentCondition&) const = default;
};

struct AgentExtraction {
  int32_t starttype = 0;
  std::string startval;  // literal text when starttype is 0, else the token's name
  int32_t endtype = 0;
  std::string endval;
  std::string varname;  // empty: extracted but not stored

  bool operator==(const AgentExtraction&) const = default;
};

// An action's parameters: names are unique and compared exactly. The order of
// the list carries no meaning; it is kept so that a loaded file saves back the
// same lines in the same order.
class AgentAction {
 public:
  AgentAction() = default;
  AgentAction(std::string name, int32_t type) : name(std::move(name)), type(type) {}

  // The value of a property, or the empty text when the name is absent.
  const std::string& Property(const std::string& property_name) const;
  // Inserts the property or replaces its value.
  void SetProperty(const std::string& property_name, std::string value);
  // The value of a property read as a number (leading blanks, a sign, digits).
  int32_t NumberProperty(const std::string& property_name) const;

  const std::vector<std::pair<std::string, std::string>>& properties() const { return properties_; }

  std::string name;  // display name of its type when it was added
  int32_t type = 0;  // an ActionType number

  bool operator==(const AgentAction&) const = default;

 private:
  std::vector<std::pair<std::string, std::string>> properties_;
};

struct MailAgent {
  std::string name;
  std::vector<AgentCondition> conditions;
  std::vector<AgentAction> actions;
  std::vector<AgentExtraction> extractions;
  int32_t enabled = 1;  // non-zero: takes part in processing

  bool operator==(const MailAgent&) const = default;
};

}  // namespace quor
