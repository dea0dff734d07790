// Time of the engine's text work on large messages: substitution of a 1 MB
// template full of braces, extraction with patterns that defeat a naive
// search, and condition tests on a large body. Each case runs at two sizes;
// a ratio near 2 shows linear time, near 4 quadratic.
//
// Run: ./engine_text_bench

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "engine/condition_matcher.h"
#include "engine/substitution.h"
#include "engine/variable_extractor.h"

using namespace quor;

namespace {

class NullLog : public LogSink {
 public:
  void AddLine(const std::string&) override {}
};

// The best of a few runs: the machine is shared, and the minimum is the
// figure least disturbed by other work.
double Milliseconds(const std::function<void()>& work) {
  double best = 0;
  for (int run = 0; run < 5; ++run) {
    auto start = std::chrono::steady_clock::now();
    work();
    double elapsed =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (run == 0 || elapsed < best) best = elapsed;
  }
  return best;
}

void Report(const char* name, const std::function<void(size_t)>& run, size_t size) {
  double small = Milliseconds([&] { run(size); });
  double large = Milliseconds([&] { run(size * 2); });
  std::printf("%-44s %8zu bytes %9.2f ms   x2: %9.2f ms   ratio %.2f\n", name, size, small, large,
              small > 0 ? large / small : 0.0);
}

// Every kind of brace sequence: open runs, unknown names, known names.
std::string BraceText(size_t size) {
  std::string text;
  while (text.size() < size) text += "{{{ {Subject} {nothing} }x{ {a{b{ Sender }";
  return text;
}

}  // namespace

int main() {
  constexpr size_t kMegabyte = 1024 * 1024;
  FieldMap fields{{"Subject", "Order 42"}, {"Sender", "ann@example.com"}};
  volatile size_t sink = 0;

  Report(
      "Substitute, 1 MB of braces",
      [&](size_t size) { sink = sink + Substitute(BraceText(size), fields).size(); }, kMegabyte);
  Report(
      "Substitute, one unterminated token",
      [&](size_t size) { sink = sink + Substitute("{" + std::string(size, 'x'), fields).size(); },
      kMegabyte);

  Report(
      "ExtractVariables, repetitive start text",
      [&](size_t size) {
        MailAgent agent;
        agent.extractions.push_back(AgentExtraction{MarkerKind::kText, std::string(4096, 'a') + "b",
                                                    MarkerKind::kEndOfMessage, "", "v"});
        std::string body(size, 'a');
        FieldMap map;
        NullLog log;
        ExtractVariables(agent, body, map, log);
        sink = sink + map.size();
      },
      kMegabyte);

  Report(
      "TestCondition contains, repetitive value",
      [&](size_t size) {
        sink =
            sink + TestCondition(std::string(size, 'a'), "contains", std::string(4096, 'a') + "b");
      },
      kMegabyte);
  return 0;
}
