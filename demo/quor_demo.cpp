// The demo: starts a private Dovecot POP3 server and an SMTP server on
// loopback, delivers sample messages, writes a sample profile and agents file
// into a demo base directory, shows with `quor --test-message` what the agents
// would do with one of the messages, runs `quor --headless --once` on them,
// and then shows what the SMTP server received and which files the agents
// saved.
//
//   quor_demo DEMO_HOME

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "fixtures/child_process.h"
#include "fixtures/dovecot_server.h"
#include "fixtures/smtp_server.h"
#include "fixtures/test_files.h"

using namespace quor;

namespace fs = std::filesystem;

namespace {

std::string Agents(const std::string& home) {
  std::ostringstream file;
  file << "[Agents]\nAgentCount=4.\n"
       // 1: answer order mails and keep a list of orders.
       << "[Agent0]\nName=Order desk.\nEnabled=1.\n"
       << "CondCount=2.\n"
       << "Cond0.fld=Subject.\nCond0.op=contains.\nCond0.value=Order.\nCond0.join=0.\n"
       << "Cond1.fld=Sender.\nCond1.op=does not contain.\nCond1.value=noreply.\nCond1.join=0.\n"
       << "ExtractCount=2.\n"
       << "Ext0.startval=your order .\nExt0.starttype=0.\nExt0.endval={Any blank space}.\n"
       << "Ext0.endtype=1.\nExt0.varname=ordernum.\n"
       << "Ext1.startval=Tracking number: .\nExt1.starttype=0.\nExt1.endval={End of line}.\n"
       << "Ext1.endtype=3.\nExt1.varname=tracking.\n"
       << "ActionCount=2.\n"
       << "Action0.name=Send an Outgoing Message.\nAction0.type=2.\nAction0.propCount=5.\n"
       << "Action0.prop0.name=mailto.\nAction0.prop0.value={Sender}.\n"
       << "Action0.prop1.name=subject.\nAction0.prop1.value=Re: order {ordernum}.\n"
       << "Action0.prop2.name=message.\nAction0.prop2.value=" << home << "/templates/reply.txt.\n"
       << "Action0.prop3.name=cclist.\nAction0.prop3.value=.\n"
       << "Action0.prop4.name=attachCount.\nAction0.prop4.value=0.\n"
       << "Action1.name=Save Message Data to a File.\nAction1.type=4.\nAction1.propCount=6.\n"
       << "Action1.prop0.name=outfile.\nAction1.prop0.value=" << home << "/orders.csv.\n"
       << "Action1.prop1.name=append.\nAction1.prop1.value=1.\n"
       << "Action1.prop2.name=savemethod.\nAction1.prop2.value=2.\n"
       << "Action1.prop3.name=linecount.\nAction1.prop3.value=2.\n"
       << "Action1.prop4.name=line0.\nAction1.prop4.value={ordernum};{tracking};{Sender}.\n"
       << "Action1.prop5.name=line1.\nAction1.prop5.value=.\n"
       // 2: keep pictures and pass them on to the archive.
       << "[Agent1]\nName=Picture keeper.\nEnabled=1.\n"
       << "CondCount=1.\n"
       << "Cond0.fld=Subject.\nCond0.op=contains.\nCond0.value=Picture.\nCond0.join=0.\n"
       << "ExtractCount=0.\nActionCount=2.\n"
       << "Action0.name=Save Attachments.\nAction0.type=8.\nAction0.propCount=4.\n"
       << "Action0.prop0.name=directory.\nAction0.prop0.value=" << home << "/attachments.\n"
       << "Action0.prop1.name=basefile.\nAction0.prop1.value=attachment.\n"
       << "Action0.prop2.name=usename.\nAction0.prop2.value=1.\n"
       << "Action0.prop3.name=usenumbering.\nAction0.prop3.value=1.\n"
       << "Action1.name=Forward Incoming Message.\nAction1.type=6.\nAction1.propCount=1.\n"
       << "Action1.prop0.name=mailto.\nAction1.prop0.value=archive@demo.example.\n"
       // 3: a journal of every message, and a program that sees each subject.
       << "[Agent2]\nName=Journal.\nEnabled=1.\nCondCount=0.\nExtractCount=0.\n"
       << "ActionCount=2.\n"
       << "Action0.name=Save Message Data to a File.\nAction0.type=4.\nAction0.propCount=4.\n"
       << "Action0.prop0.name=outfile.\nAction0.prop0.value=" << home << "/journal.txt.\n"
       << "Action0.prop1.name=append.\nAction0.prop1.value=1.\n"
       << "Action0.prop2.name=savemethod.\nAction0.prop2.value=1.\n"
       << "Action0.prop3.name=templatefile.\nAction0.prop3.value=" << home
       << "/templates/journal.txt.\n"
       << "Action1.name=Run an External Program.\nAction1.type=5.\nAction1.propCount=3.\n"
       << "Action1.prop0.name=program.\nAction1.prop0.value=/bin/echo.\n"
       << "Action1.prop1.name=arguments.\nAction1.prop1.value=    (program) saw: {Subject}.\n"
       << "Action1.prop2.name=wait.\nAction1.prop2.value=1.\n"
       // 4: switched off: never runs.
       << "[Agent3]\nName=Spam shredder (off).\nEnabled=0.\nCondCount=0.\nExtractCount=0.\n"
       << "ActionCount=1.\nAction0.name=Delete Incoming Message.\nAction0.type=1.\n"
       << "Action0.propCount=0.\n";
  return file.str();
}

void Heading(const std::string& text) { std::cout << "\n=== " << text << " ===\n"; }

void ShowFile(const fs::path& path) {
  std::cout << "--- " << path.string() << " (" << fs::file_size(path) << " bytes)\n";
  std::string content = ReadWholeFile(path.string());
  bool printable = content.find('\0') == std::string::npos && content.size() < 4000;
  if (printable) std::cout << content << (content.empty() || content.back() == '\n' ? "" : "\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: quor_demo DEMO_HOME\n";
    return 2;
  }
  fs::path home = fs::absolute(argv[1]);
  fs::remove_all(home);
  fs::create_directories(home / "templates");
  fs::create_directories(home / "attachments");

  std::cout << "Starting a private Dovecot POP3 server and an SMTP server on 127.0.0.1...\n";
  DovecotServer pop;
  SmtpServer smtp;
  pop.AddUser("demo", "demo-password");

  std::string mail = QUOR_FIXTURES_DIR "/mail/";
  for (const char* name :
       {"plain.eml", "mixed_gif.eml", "alternative.eml", "quoted_printable.eml", "dot_lines.eml"}) {
    pop.Deliver("demo", ReadWholeFile(mail + name));
  }
  std::cout << "Delivered 5 sample messages to demo@" << pop.host_text() << ".\n";

  WriteWholeFile((home / "templates/reply.txt").string(),
                 "Hello {Sender},\n\nthank you: order {ordernum} is on its way.\n"
                 "Tracking number: {tracking}\n\n-- \nQuor demo\n");
  WriteWholeFile((home / "templates/journal.txt").string(), "{Date} | {Sender} | {Subject}\n");
  WriteWholeFile((home / "quoragts.ini").string(), Agents(home.string()));
  WriteWholeFile((home / "quor.INI").string(),
                 "[Settings]\nPOPDelay=10\nSMTPServer=" + smtp.host_text() +
                     "\nEmail=quor@demo.example\nName=Quor Demo\nOrganization=Demo Inc.\n"
                     "MailboxCount=1\nPOPServer0=" +
                     pop.host_text() +
                     "\nPOPUser0=demo\nPOPPassword0=demo-password\nPOPLastMsg0=\n"
                     // As in a profile quor creates: agents see international text decoded.
                     "DecodeText=1\n");
  chmod((home / "quor.INI").c_str(), 0600);

  std::cout << "Wrote " << (home / "quor.INI").string() << " and "
            << (home / "quoragts.ini").string() << ".\n";
  Heading("quor --test-message plain.eml: what the agents would do (nothing happens yet)");
  ChildProcess trial(QUOR_BINARY,
                     {"--test-message", mail + "plain.eml", "--base-dir", home.string(),
                      "--profile", (home / "quor.INI").string()},
                     {{"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt}});
  int trial_status = trial.Wait(std::chrono::minutes(1));
  std::cout << trial.Output() << trial.Errors();
  std::cout << "(quor --test-message exited with status " << trial_status << ")\n";

  Heading("quor --headless --once: the activity log");
  ChildProcess quor(QUOR_BINARY,
                    {"--headless", "--once", "--base-dir", home.string(), "--profile",
                     (home / "quor.INI").string()},
                    {{"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt}});
  int status = quor.Wait(std::chrono::minutes(5));
  std::cout << quor.Output();
  if (!quor.Errors().empty()) std::cout << quor.Errors();
  std::cout << "(quor exited with status " << status << ")\n";

  Heading("What the SMTP server received");
  smtp.WaitForMessages(3, std::chrono::seconds(5));
  for (const StoredMessage& message : smtp.Messages()) {
    std::cout << "--- envelope: from <" << message.mail_from << "> to";
    for (const auto& to : message.rcpt_tos) std::cout << " <" << to << ">";
    std::cout << "\n";
    MimeSummary mime = CheckMime(message.path);
    for (const auto& [name, value] : mime.headers) {
      if (name == "Subject" || name == "To" || name == "From" || name == "Content-Type") {
        std::cout << name << ": " << value << "\n";
      }
    }
    std::cout << "text part:\n"
              << mime.text << (mime.text.empty() || mime.text.back() == '\n' ? "" : "\n");
    for (const auto& attachment : mime.attachments) {
      std::cout << "attachment: " << attachment.filename << " (" << attachment.content_type << ", "
                << attachment.size << " bytes)\n";
    }
  }

  Heading("International text: a subject as written and as agents see it");
  // quoted_printable.eml's subject is an encoded word in ISO-8859-1; with
  // DecodeText=1 the journal agent saved it as UTF-8 text.
  std::string sample = ReadWholeFile(mail + "quoted_printable.eml");
  size_t subject_at = sample.find("\nSubject: ") + 1;
  std::cout << "in the message:  "
            << sample.substr(subject_at, sample.find('\n', subject_at) - subject_at) << "\n";
  std::istringstream journal(ReadWholeFile((home / "journal.txt").string()));
  for (std::string line; std::getline(journal, line);) {
    if (line.find("cafe@example.org") != std::string::npos) {
      std::cout << "in journal.txt:  " << line << "\n";
    }
  }

  Heading("Files the agents wrote under " + home.string());
  for (const auto& entry : fs::recursive_directory_iterator(home)) {
    std::string relative = fs::relative(entry.path(), home).string();
    if (!entry.is_regular_file() || relative.rfind("templates", 0) == 0 ||
        relative == "quoragts.ini" || relative == "quoragts.ini.bak" || relative == "quor.INI") {
      continue;
    }
    ShowFile(entry.path());
  }
  std::cout << "\nThe demo base directory stays in " << home.string()
            << "; the servers have been stopped.\n";
  return status;
}
