#pragma once
// Test helpers for the engine: a LogTarget that keeps its lines, and an
// ActionContext around it with default settings.

#include <string>
#include <vector>

#include "config/settings.h"
#include "engine/action_context.h"
#include "net/log_target.h"

namespace quor {

namespace engine_test {

class CapturedLog : public LogTarget {
 public:
  void Log(const std::string& line) override { lines.push_back(line); }
  std::vector<std::string> lines;
};

// An action context whose log is captured; base directory and message are set
// by each test.
struct ContextWithLog {
  CapturedLog log;
  Settings settings;
  ActionContext context{
      .log = log, .settings = settings, .base_directory = {}, .body_text = {}, .play_sound = {}};
};

}  // namespace engine_test

}  // namespace quor
