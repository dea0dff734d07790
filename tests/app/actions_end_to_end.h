#pragma once
// Shared by the end-to-end action tests: a private Dovecot (and, for the mail
// actions, an SMTP server) for the whole test program, a mailbox of its own
// for every test, agents written into a real agents file next to a profile,
// and the quor program run on them for one headless pass.
//
// Every run checks what any run must hold: the program exits with 0, and the
// lines it printed are exactly the lines it appended to <base>/quor.log.
// One thread; the servers start on first use and stop when the program ends.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "config/mail_agent.h"
#include "config/settings.h"
#include "fixtures/agent_builders.h"
#include "fixtures/child_process.h"
#include "fixtures/dovecot_server.h"
#include "fixtures/smtp_server.h"
#include "fixtures/test_files.h"
#include "net/pop_client.h"

namespace quor {

namespace actions_e2e {

using Lines = std::vector<std::string>;
using Properties = std::vector<std::pair<std::string, std::string>>;
using Environment = std::map<std::string, std::optional<std::string>>;

inline constexpr char kPassword[] = "secret";
// A quor run is one short pass; a hung one must still end the test.
inline constexpr std::chrono::seconds kRunLimit{60};

// The agents file as the setup sheet saves it: keys in their fixed order and
// every value followed by a full stop. Written here rather than by the
// program's own writer, so a run reads a file that the program did not make.
inline std::string AgentsFileText(const std::vector<MailAgent>& agents) {
  std::string text = "[Agents]\nAgentCount=" + std::to_string(agents.size()) + ".\n";
  auto key = [&text](const std::string& name, const std::string& value) {
    text += name + "=" + value + ".\n";
  };
  for (size_t i = 0; i < agents.size(); ++i) {
    const MailAgent& agent = agents[i];
    text += "[Agent" + std::to_string(i) + "]\n";
    key("Name", agent.name);
    key("Enabled", agent.enabled ? "1" : "0");
    key("CondCount", std::to_string(agent.conditions.size()));
    for (size_t j = 0; j < agent.conditions.size(); ++j) {
      std::string prefix = "Cond" + std::to_string(j) + ".";
      key(prefix + "fld", agent.conditions[j].field);
      key(prefix + "op", agent.conditions[j].operator_name);
      key(prefix + "value", agent.conditions[j].value);
      key(prefix + "join", std::to_string(static_cast<int32_t>(agent.conditions[j].join)));
    }
    key("ExtractCount", std::to_string(agent.extractions.size()));
    for (size_t j = 0; j < agent.extractions.size(); ++j) {
      const AgentExtraction& rule = agent.extractions[j];
      std::string prefix = "Ext" + std::to_string(j) + ".";
      key(prefix + "startval", rule.start_text);
      key(prefix + "starttype", std::to_string(static_cast<int32_t>(rule.start_kind)));
      key(prefix + "endval", rule.end_text);
      key(prefix + "endtype", std::to_string(static_cast<int32_t>(rule.end_kind)));
      key(prefix + "varname", rule.variable_name);
    }
    key("ActionCount", std::to_string(agent.actions.size()));
    for (size_t j = 0; j < agent.actions.size(); ++j) {
      const AgentAction& action = agent.actions[j];
      std::string prefix = "Action" + std::to_string(j) + ".";
      key(prefix + "name", action.name);
      key(prefix + "type", std::to_string(static_cast<int32_t>(action.type)));
      key(prefix + "propCount", std::to_string(action.properties().size()));
      for (size_t k = 0; k < action.properties().size(); ++k) {
        std::string property = prefix + "prop" + std::to_string(k) + ".";
        key(property + "name", action.properties()[k].first);
        key(property + "value", action.properties()[k].second);
      }
    }
  }
  return text;
}

inline Lines SplitLines(const std::string& text) {
  Lines lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

// True for the lines a pass writes itself, which end an agent's run.
inline bool IsPassLine(const std::string& line) {
  return line.rfind("--> [Agent ", 0) == 0 || line.rfind("--> Retrieving message ", 0) == 0 ||
         line == "Processing completed." || line.find("] - Checking mailbox ") != std::string::npos;
}

// What one agent's run on one message logged, its header line excluded; a
// single "(agent did not run)" line when there was no such run.
inline Lines AgentRun(const Lines& lines, const std::string& agent, int message) {
  std::string header =
      "--> [Agent " + agent + "]: processing message " + std::to_string(message) + "...";
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] != header) continue;
    Lines run;
    for (size_t j = i + 1; j < lines.size() && !IsPassLine(lines[j]); ++j) run.push_back(lines[j]);
    return run;
  }
  return {"(agent did not run)"};
}

// The example messages' fixed parts; the test chooses subject and body.
inline std::string PlainMessage(const std::string& subject, const std::string& body) {
  return "From: Ann Example <ann@example.org>\nTo: orders@example.net\nSubject: " + subject +
         "\nDate: Thu, 16 May 2024 09:30:00 +0200\n\n" + body;
}

// e2e_three_files.eml: its text part carries a transfer encoding, so it is
// attachment 0 (the body), and its three files are attachments 1 to 3:
// report.txt, chart.bin and a part without a name.
inline std::string ThreeFilesMessage() {
  return ReadWholeFile(QUOR_FIXTURES_DIR "/mail/e2e_three_files.eml");
}
inline const std::string kThreeFilesBody = "Hello Bob,\nthree files are attached.\n";
inline const std::string kReport = "Quarterly report\nSales: 12 boxes\n";
inline const std::string kUnnamed("no name on this part\0\x01\x02 end\n", 28);
// Every byte value, and a line that would end an SMTP transfer.
inline std::string Chart() {
  std::string chart;
  for (int i = 0; i < 256; ++i) chart.push_back(static_cast<char>(i));
  chart += "\r\n.\r\n";
  for (int i = 255; i >= 0; --i) chart.push_back(static_cast<char>(i));
  return chart;
}

// Dovecot rereads its user file at most once a second, so a user added while
// it runs may be refused for a moment after an earlier login. Every test's
// mailbox is therefore made before the first login, and one login proves the
// server has read them.
struct SharedDovecot {
  static constexpr int kUsers = 40;
  static std::string UserName(int number) { return "e2e" + std::to_string(number); }
  static SharedDovecot& Instance() {
    static SharedDovecot shared;
    return shared;
  }

  SharedDovecot() {
    for (int i = 1; i <= kUsers; ++i) server.AddUser(UserName(i), kPassword);
    bool ready = WaitUntil([this] {
      PopClient client(5);
      bool in = client.Connect(server.host_text(), "pop3") > 0 &&
                client.Login(UserName(kUsers), kPassword) > 0;
      if (in) client.Logout();
      return in;
    });
    if (!ready) throw std::runtime_error("Dovecot refused the test users:\n" + server.LogText());
  }

  DovecotServer server;
};

class EndToEndTest : public ::testing::Test {
 protected:
  // Started on first use and stopped when the program ends: starting Dovecot
  // costs more than most tests.
  static DovecotServer& Dovecot() { return SharedDovecot::Instance().server; }
  static SmtpServer& Smtp() {
    static SmtpServer server;
    return server;
  }

  EndToEndTest() {
    static int users = 0;
    if (++users > SharedDovecot::kUsers) throw std::runtime_error("raise SharedDovecot::kUsers");
    user_ = SharedDovecot::UserName(users);
  }

  void Deliver(const std::string& message) { Dovecot().Deliver(user_, message); }
  std::string Mailbox() const { return user_ + "@" + Dovecot().host_text(); }
  std::string Base(const std::string& name) const { return base_.File(name); }
  std::string LogPath() const { return base_.File("quor.log"); }
  // The profile: quor.INI in the base directory unless a test moved it.
  std::string ProfilePath() const { return profile_.empty() ? base_.File("quor.INI") : profile_; }

  // Writes the agents file and a profile with one mailbox (marker empty) and
  // the given outgoing-mail settings, replacing what an earlier run saved.
  void Configure(const std::vector<MailAgent>& agents, const Settings& settings = {}) {
    WriteWholeFile(base_.File("quoragts.ini"), AgentsFileText(agents));
    WriteWholeFile(ProfilePath(),
                   "[Settings]\nSMTPServer=" + settings.smtp_server +
                       "\nEmail=" + settings.email_address + "\nName=" + settings.sender_name +
                       "\nOrganization=" + settings.organization +
                       "\nReply=" + settings.reply_address +
                       (settings.reply_to_automatic ? "\nReplyToAutomatic=1" : "") +
                       (settings.decode_text ? "\nDecodeText=1" : "") +
                       "\nMailboxCount=1\nPOPServer0=" + Dovecot().host_text() +
                       "\nPOPUser0=" + user_ + "\nPOPPassword0=" + kPassword + "\nPOPLastMsg0=\n");
  }

  // Starts `quor --headless --once` without waiting for it, for tests that act
  // while the pass runs. No display: it never opens a window.
  std::unique_ptr<ChildProcess> StartQuor(Environment environment = {}) {
    environment.emplace("DISPLAY", std::nullopt);
    environment.emplace("WAYLAND_DISPLAY", std::nullopt);
    log_size_before_ = ReadWholeFile(LogPath()).size();
    return std::make_unique<ChildProcess>(
        QUOR_BINARY,
        std::vector<std::string>{"--headless", "--once", "--base-dir", base_.path(), "--profile",
                                 ProfilePath()},
        environment);
  }

  // Waits for the run to end and returns the lines it printed.
  Lines FinishQuor(ChildProcess& quor) {
    EXPECT_EQ(quor.Wait(kRunLimit), 0) << quor.Errors();
    std::string output = quor.Output();
    EXPECT_EQ(ReadWholeFile(LogPath()).substr(log_size_before_), output)
        << "the log file and standard output differ";
    Lines lines = SplitLines(output);
    EXPECT_THAT(lines, ::testing::Contains("Processing completed.")) << output << quor.Errors();
    ExpectMailboxOpened(lines);
    return lines;
  }

  Lines RunQuor(const std::vector<MailAgent>& agents, const Settings& settings = {},
                Environment environment = {}) {
    Configure(agents, settings);
    std::unique_ptr<ChildProcess> quor = StartQuor(std::move(environment));
    return FinishQuor(*quor);
  }

  // Every test here needs the POP3 session: the line after the mailbox's
  // header must count messages, not report a failure.
  static void ExpectMailboxOpened(const Lines& lines) {
    auto header = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
      return line.find("] - Checking mailbox ") != std::string::npos;
    });
    bool counted = header != lines.end() && header + 1 != lines.end() &&
                   ::testing::Matches(::testing::EndsWith("new messages found."))(*(header + 1));
    EXPECT_TRUE(counted) << ::testing::PrintToString(lines);
  }

  // The lines of a pass after its time-stamped header lines, checking those.
  Lines AfterHeader(const Lines& lines) const {
    EXPECT_GE(lines.size(), 2u);
    if (lines.size() < 2) return {};
    EXPECT_THAT(lines[0], ::testing::EndsWith("] - Started."));
    EXPECT_THAT(lines[1], ::testing::EndsWith("] - Checking mailbox " + Mailbox() + "..."));
    return Lines(lines.begin() + 2, lines.end());
  }

  TempDir base_;
  std::string user_;
  std::string profile_;  // empty: quor.INI in the base directory

 private:
  size_t log_size_before_ = 0;
};

}  // namespace actions_e2e

}  // namespace quor
