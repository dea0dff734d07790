#pragma once
// The agents file quoragts.ini: every agent with its conditions, extraction
// rules and actions. Every value is stored with a full stop appended; text
// reads are cut at 254 characters. Saving first copies the file to
// quoragts.ini.bak.
//
// Layout: [Agents] AgentCount, then one section [Agent<i>] per agent with
// Name, Enabled, CondCount, Cond<j>.fld/.op/.value/.join, ExtractCount,
// Ext<j>.startval/.starttype/.endval/.endtype/.varname, ActionCount,
// Action<j>.name/.type/.propCount and Action<j>.prop<k>.name/.value, in that
// order. Properties are written in the order of AgentAction::properties().
//
// Reading: one final "." is removed from a text; numbers are their leading
// digits, so "2." is 2 and a missing key is 0 (an agent without Enabled is
// disabled). Counts of 0 or below give no records; a count larger than the
// records present gives default records. Leading blanks of a stored value
// are not kept (profile values are trimmed); trailing ones are, because the
// full stop follows them.
//
// Stateless; each call reads or writes the whole file.

#include <string>
#include <vector>

#include "config/configuration_source.h"
#include "config/mail_agent.h"

namespace quor {

class AgentsFile {
 public:
  // Default records made past the last index present in the file, so that a
  // damaged count neither allocates nor loops for it.
  static constexpr int kMaxMissingRecords = 1000;

  // understood (when given) is set to false for a file that exists but
  // cannot be read, or is not empty and has no AgentCount in [Agents]: such
  // a file gives no agents, and callers should not replace it unasked. A
  // missing or empty file is understood and gives no agents.
  // source (when given) receives where each agent's values were written.
  static std::vector<MailAgent> Load(const std::string& path, bool* understood = nullptr,
                                     AgentsSource* source = nullptr);
  // Copies the file to path + ".bak" (replacing an earlier backup); when that
  // worked the new file holds exactly the agents' keys, otherwise the
  // existing file is updated in place and keys it has beyond the new counts
  // stay, unread. The file is replaced atomically, mode 0600.
  // True only when every value was written: false when the file could not be
  // written, when it exists but could be neither backed up nor read (it is
  // then left alone), or when a value held a line break and was cut.
  static bool Save(const std::string& path, const std::vector<MailAgent>& agents);
};

}  // namespace quor
