#pragma once
// The agents file quoragts.ini: every agent with its conditions, extraction
// rules and actions. Every value is stored with a full stop appended; text
// reads are cut at 254 characters. Saving first copies the file to
// quoragts.ini.bak.

#include <string>
#include <vector>

#include "config/mail_agent.h"

class AgentsFile {
 public:
  // Default records made past the last index present in the file, so that a
  // damaged count neither allocates nor loops for it.
  static constexpr int kMaxMissingRecords = 1000;

  static std::vector<MailAgent> Load(const std::string& path);
  // Non-zero when every value was written.
  static bool Save(const std::string& path, const std::vector<MailAgent>& agents);
};
