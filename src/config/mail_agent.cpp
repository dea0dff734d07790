#include "config/mail_agent.h"

#include "config/number_text.h"

namespace quor {

const char* ActionTypeName(ActionType type) {
  switch (static_cast<int32_t>(type)) {
    case 1:
      return "Delete Incoming Message";
    case 2:
      return "Send an Outgoing Message";
    case 3:
      return "Play a Sound";
    case 4:
      return "Save Message Data to a File";
    case 5:
      return "Run an External Program";
    case 6:
      return "Forward Incoming Message";
    case 8:
      return "Save Attachments";
    default:
      return "";
  }
}

// Switches without a default, so that a new enumerator that is not added
// here is a compiler warning.
bool IsKnownJoin(ConditionJoin join) {
  switch (join) {
    case ConditionJoin::kAnd:
    case ConditionJoin::kOr:
      return true;
  }
  return false;
}

bool IsKnownMarkerKind(MarkerKind kind) {
  switch (kind) {
    case MarkerKind::kText:
    case MarkerKind::kAnyBlank:
    case MarkerKind::kTab:
    case MarkerKind::kEndOfLine:
    case MarkerKind::kEndOfMessage:
    case MarkerKind::kNextCharacter:
      return true;
  }
  return false;
}

const std::string& AgentAction::Property(const std::string& property_name) const {
  static const std::string kEmpty;
  for (const auto& [name, value] : properties_) {
    if (name == property_name) return value;
  }
  return kEmpty;
}

void AgentAction::SetProperty(const std::string& property_name, std::string value) {
  for (auto& [name, existing] : properties_) {
    if (name == property_name) {
      existing = std::move(value);
      return;
    }
  }
  properties_.emplace_back(property_name, std::move(value));
}

int32_t AgentAction::NumberProperty(const std::string& property_name) const {
  return LeadingInteger(Property(property_name));
}

}  // namespace quor
