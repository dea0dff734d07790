#pragma once
// Test helper for the engine: an ActionContext around a recording log, with
// default settings.

#include <string>
#include <vector>

#include "config/settings.h"
#include "engine/action_context.h"
#include "fixtures/recording_sink.h"

namespace quor {

namespace engine_test {

using CapturedLog = RecordingSink;

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
