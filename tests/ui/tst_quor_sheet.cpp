// The setup sheet driven as a person would: tabs, rows and buttons found by
// their texts, fields by their labels. The agent editor is replaced by a
// scripted function, the validation message box by a recorder.

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <deque>
#include <memory>
#include <optional>

#include "agent_editor_test_helpers.h"
#include "app/configuration_store.h"
#include "ui/main_agent_page.h"
#include "ui/main_mailbox_page.h"
#include "ui/main_settings_page.h"
#include "ui/quor_sheet.h"

Q_DECLARE_METATYPE(quor::ConnectionSecurity)

namespace quor {

namespace {

MailAgent Agent(const std::string& name, int32_t enabled, const std::string& subject = "") {
  MailAgent agent;
  agent.name = name;
  agent.enabled = enabled;
  if (!subject.empty())
    agent.conditions.push_back(AgentCondition{"Subject", "is", subject, ConditionJoin::kAnd});
  return agent;
}

MailboxAccount Account(const std::string& server, const std::string& user,
                       const std::string& password, const std::string& marker,
                       ConnectionSecurity security = ConnectionSecurity::kNone) {
  MailboxAccount account;
  account.server = server;
  account.user = user;
  account.password = password;
  account.last_message = marker;
  account.security = security;
  return account;
}

// The texts of the security drop-downs, in their order.
const QStringList kSecurityTexts{"None", "STARTTLS", "SSL/TLS"};

QString SecurityText(ConnectionSecurity security) {
  return kSecurityTexts.at(static_cast<int>(security));
}

// The SMTP login and the two options, as the profile could hold them.
struct SmtpValues {
  ConnectionSecurity security;
  std::string user_name;
  std::string password;
  bool reply_to_automatic;
  bool decode_text;
};

const SmtpValues kSmtpValues[] = {
    {ConnectionSecurity::kNone, "", "", false, false},
    {ConnectionSecurity::kStartTls, "orders@example.org", "app password", true, false},
    {ConnectionSecurity::kImplicitTls, "sender", "s3cret", false, true},
};

void Apply(const SmtpValues& values, Settings& settings) {
  settings.smtp_security = values.security;
  settings.smtp_user_name = values.user_name;
  settings.smtp_password = values.password;
  settings.reply_to_automatic = values.reply_to_automatic;
  settings.decode_text = values.decode_text;
}

std::vector<ConnectionSecurity> Securities(const std::vector<MailboxAccount>& accounts) {
  std::vector<ConnectionSecurity> securities;
  for (const MailboxAccount& account : accounts) securities.push_back(account.security);
  return securities;
}

std::vector<std::string> Names(const std::vector<MailAgent>& agents) {
  std::vector<std::string> names;
  for (const MailAgent& agent : agents) names.push_back(agent.name);
  return names;
}

std::vector<std::string> Labels(const std::vector<MailboxAccount>& accounts) {
  std::vector<std::string> labels;
  for (const MailboxAccount& account : accounts) labels.push_back(account.Label());
  return labels;
}

int RowWithText(QListWidget* list, const QString& text) {
  for (int row = 0; row < list->count(); ++row) {
    if (list->item(row)->text() == text) return row;
  }
  return -1;
}

}  // namespace

class TestQuorSheet : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void opensOnMailAgentsWithThreeTabsAndOkCancelOnly();
  void pagesShowTheirLabelsAndGroups();

  void agentRowsAreSortedNameTabStatus();
  void agentButtonsNeedASelectedRow();
  void enableAndDisableMoveOnlyChangedAgentsToTheEnd_data();
  void enableAndDisableMoveOnlyChangedAgentsToTheEnd();
  void editWithOkMovesTheAgentToTheEndAndKeepsItsFlag();
  void editWithCancelChangesNothing();
  void newAgentIsAppendedEnabledAndSelected();
  void rowsWithTheSameTextEachOpenTheirOwnAgent();
  void deleteRemovesTheAgentAndClearsTheSelection();
  void newAndEditOpenTheAgentEditorModally();

  void parseUnsignedField_data();
  void parseUnsignedField();
  void checkIntervalIsValidatedWhenLeavingThePage_data();
  void checkIntervalIsValidatedWhenLeavingThePage();
  void sizeLimitHasNoUpperBoundOfItsOwn_data();
  void sizeLimitHasNoUpperBoundOfItsOwn();
  void okValidatesTheDisplayedSettingsPage();
  void validationMessageIsAWarningBox();
  void settingsComeBackFromTheirControls();
  void smtpLoginAndOptionsComeBackFromTheirControls_data();
  void smtpLoginAndOptionsComeBackFromTheirControls();
  void settingsOfAnUnvisitedPageComeBackUnchanged();

  void mailboxRowsAreSortedAndSelectionFillsTheFields();
  void addNeedsServerAndAccountName_data();
  void addNeedsServerAndAccountName();
  void replaceKeepsTheMarkerAndMovesTheAccountToTheEnd();
  void clickingTheSelectedRowPutsItsValuesBack();
  void deleteRemovesTheAccountAndKeepsTheFields();
  void eachAccountShowsItsOwnSecurity();
  void addTakesTheSecurityShownSslTlsUnlessChanged_data();
  void addTakesTheSecurityShownSslTlsUnlessChanged();

  void cancelAfterDeleteAndReplaceLeavesTheProcessorUnchanged();
  void okInstallsReplacedAccountWithTheProcessorsCurrentMarker();

 private:
  // The configuration in use: three agents and three accounts, nothing loaded.
  void FillProcessor();
  std::unique_ptr<QuorSheet> OpenSheet();
  void ShowTab(QuorSheet& sheet, const QString& title);
  QComboBox* MailboxSecurity(QuorSheet& sheet);
  QListWidget* AgentList(QuorSheet& sheet);
  QListWidget* MailboxList(QuorSheet& sheet);
  void SelectRow(QListWidget* list, const QString& text);
  // Records the messages instead of showing them.
  void RecordWarnings(QuorSheet& sheet);

  std::unique_ptr<ConfigurationStore> store_;
  QStringList warnings_;
  // What the scripted agent editor was asked and what it answers.
  QStringList editor_titles_;
  std::vector<MailAgent> editor_inputs_;
  std::deque<std::optional<MailAgent>> editor_answers_;
};

void TestQuorSheet::init() {
  store_ = std::make_unique<ConfigurationStore>();
  warnings_.clear();
  editor_titles_.clear();
  editor_inputs_.clear();
  editor_answers_.clear();
}

void TestQuorSheet::cleanup() {
  store_.reset();
  QVERIFY(NoWindowOpen());
}

void TestQuorSheet::FillProcessor() {
  Settings settings;
  settings.check_interval_minutes = 7;
  settings.size_limit_kilobytes = 250;
  settings.smtp_server = "smtp.example.org";
  settings.email_address = "me@example.org";
  settings.sender_name = "Me";
  settings.organization = "Org";
  settings.reply_address = "reply@example.org";
  settings.log_file = "/tmp/q.log";
  settings.log_to_file = 1;
  settings.exit_after_check = 0;
  store_->Install({settings,
                   {Account("pop.b.org", "zed", "pw1", "uid-1"),
                    Account("pop.a.org", "ann", "pw2", "uid-2", ConnectionSecurity::kStartTls),
                    Account("pop.c.org", "bob", "pw3", "", ConnectionSecurity::kImplicitTls)},
                   {Agent("Orders", 1, "order"), Agent("Alerts", 0, "alert"), Agent("Backup", 1)}});
}

std::unique_ptr<QuorSheet> TestQuorSheet::OpenSheet() {
  auto sheet = std::make_unique<QuorSheet>(store_->Snapshot());
  sheet->agent_page()->set_edit_function([this](const QString& title, const MailAgent& agent) {
    editor_titles_.append(title);
    editor_inputs_.push_back(agent);
    std::optional<MailAgent> answer;
    if (!editor_answers_.empty()) {
      answer = editor_answers_.front();
      editor_answers_.pop_front();
    }
    return answer;
  });
  sheet->show();
  return sheet;
}

void TestQuorSheet::ShowTab(QuorSheet& sheet, const QString& title) {
  QTabWidget* tabs = sheet.tabs();
  for (int index = 0; index < tabs->count(); ++index) {
    if (tabs->tabText(index) == title) {
      QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {},
                        tabs->tabBar()->tabRect(index).center());
      return;
    }
  }
  QFAIL(qPrintable("no tab " + title));
}

QListWidget* TestQuorSheet::AgentList(QuorSheet& sheet) {
  return FieldLabelled<QListWidget>(sheet.agent_page(), "Agent Name:");
}

QComboBox* TestQuorSheet::MailboxSecurity(QuorSheet& sheet) {
  return FieldLabelled<QComboBox>(sheet.mailbox_page(), "&Security:");
}

QListWidget* TestQuorSheet::MailboxList(QuorSheet& sheet) {
  return ControlNamed<QListWidget>(sheet.mailbox_page(), "Mailboxes");
}

void TestQuorSheet::SelectRow(QListWidget* list, const QString& text) {
  const int row = RowWithText(list, text);
  QVERIFY2(row >= 0, qPrintable("no row " + text));
  ClickRow(list, row);
  QCOMPARE(SelectedRow(list), row);
}

void TestQuorSheet::RecordWarnings(QuorSheet& sheet) {
  sheet.settings_page()->set_warning_presenter(
      [this](const QString& message) { warnings_.append(message); });
}

void TestQuorSheet::opensOnMailAgentsWithThreeTabsAndOkCancelOnly() {
  auto sheet = OpenSheet();
  QCOMPARE(sheet->windowTitle(), QStringLiteral("Quor Setup"));
  QTabWidget* tabs = sheet->tabs();
  QCOMPARE(tabs->count(), 3);
  QCOMPARE(tabs->tabText(0), QStringLiteral("Mail Agents"));
  QCOMPARE(tabs->tabText(1), QStringLiteral("Settings"));
  QCOMPARE(tabs->tabText(2), QStringLiteral("Mailboxes"));
  QCOMPARE(tabs->currentIndex(), 0);
  auto* box = sheet->findChild<QDialogButtonBox*>();
  QVERIFY(box);
  QCOMPARE(box->standardButtons(), QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
}

void TestQuorSheet::pagesShowTheirLabelsAndGroups() {
  auto sheet = OpenSheet();
  QVERIFY(FieldLabelled<QListWidget>(sheet->agent_page(), "Status:"));
  for (const char* button : {"&New...", "&Edit...", "Ena&ble", "&Disable", "De&lete"}) {
    QVERIFY2(ButtonNamed(sheet->agent_page(), button), button);
  }
  MainSettingsPage* settings = sheet->settings_page();
  for (const char* label : {"Name:", "Organization:", "E-mail Address:", "Reply-To:",
                            "Outgoing Mail (SMTP) Server:", "SMTP &User Name:", "SMTP &Password:",
                            "Check Incoming Mail Every:", "Ignore Message Larger Than:"}) {
    QVERIFY2(FieldLabelled<QLineEdit>(settings, label), label);
  }
  QCOMPARE(FieldLabelled<QLineEdit>(settings, "SMTP &Password:")->echoMode(), QLineEdit::Password);
  QCOMPARE(ItemTexts(FieldLabelled<QComboBox>(settings, "SMTP &Security:")), kSecurityTexts);
  QVERIFY(FieldLabelled<QLineEdit>(settings, "minutes"));
  QVERIFY(FieldLabelled<QLineEdit>(settings, "kilobytes (0 for no limit)"));
  QVERIFY(ButtonNamed<QCheckBox>(settings, "Log All Events to a File:"));
  QVERIFY(ButtonNamed<QCheckBox>(settings, "Exit Automatically After Checking Messages"));
  QVERIFY(ButtonNamed<QCheckBox>(settings, "&Reply to automatic messages"));
  QVERIFY(ButtonNamed<QCheckBox>(settings, "&Decode international text"));
  QVERIFY(ControlNamed<QLineEdit>(settings, "Log file"));
  auto* outgoing = settings->findChild<QGroupBox*>();
  QCOMPARE(outgoing->title(), QStringLiteral("Information to Use in Outgoing Messages"));
  QVERIFY(FieldLabelled<QLineEdit>(outgoing, "Reply-To:"));

  MainMailboxPage* mailboxes = sheet->mailbox_page();
  auto* account_group = mailboxes->findChild<QGroupBox*>();
  QCOMPARE(account_group->title(), QStringLiteral("Incoming Mail (POP) Account Information"));
  QVERIFY(FieldLabelled<QLineEdit>(account_group, "Mail Server:"));
  QVERIFY(FieldLabelled<QLineEdit>(account_group, "Account Name:"));
  QCOMPARE(FieldLabelled<QLineEdit>(account_group, "Password:")->echoMode(), QLineEdit::Password);
  QCOMPARE(ItemTexts(FieldLabelled<QComboBox>(account_group, "&Security:")), kSecurityTexts);
  for (const char* button : {"&Add", "&Replace", "&Delete"}) {
    QVERIFY2(ButtonNamed(mailboxes, button), button);
  }
  sheet->reject();
}

void TestQuorSheet::agentRowsAreSortedNameTabStatus() {
  store_->Install(
      {Settings{},
       {},
       {Agent("beta", 1), Agent("Alpha", 0), Agent("", 1), Agent("beta", 0), Agent("alpha", 1)}});
  auto sheet = OpenSheet();
  QListWidget* list = AgentList(*sheet);
  // An empty name gives a row that begins with the tab.
  QCOMPARE(RowTexts(list), QStringList({"\t(Enabled)", "Alpha\t(Disabled)", "alpha\t(Enabled)",
                                        "beta\t(Disabled)", "beta\t(Enabled)"}));
  QCOMPARE(SelectedRow(list), -1);
  // Sorting the rows does not sort the agents.
  QCOMPARE(Names(sheet->agents()),
           std::vector<std::string>({"beta", "Alpha", "", "beta", "alpha"}));
  sheet->reject();
}

void TestQuorSheet::agentButtonsNeedASelectedRow() {
  FillProcessor();
  auto sheet = OpenSheet();
  MainAgentPage* page = sheet->agent_page();
  QVERIFY(ButtonNamed(page, "&New...")->isEnabled());
  for (const char* button : {"&Edit...", "Ena&ble", "&Disable", "De&lete"}) {
    QVERIFY2(!ButtonNamed(page, button)->isEnabled(), button);
  }
  // Double-clicking only selects: nothing opens.
  const QListWidget* list = AgentList(*sheet);
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {},
                     list->visualItemRect(list->item(0)).center());
  QVERIFY(editor_titles_.isEmpty());
  QCOMPARE(SelectedRow(list), 0);
  for (const char* button : {"&Edit...", "Ena&ble", "&Disable", "De&lete"}) {
    QVERIFY2(ButtonNamed(page, button)->isEnabled(), button);
  }
  sheet->reject();
}

void TestQuorSheet::enableAndDisableMoveOnlyChangedAgentsToTheEnd_data() {
  QTest::addColumn<QString>("row");
  QTest::addColumn<QString>("button");
  QTest::addColumn<QString>("row_after");
  QTest::addColumn<QStringList>("order_after");
  const QStringList unchanged{"Orders", "Alerts", "Backup"};
  QTest::newRow("enable a disabled agent")
      << "Alerts\t(Disabled)"
      << "Ena&ble"
      << "Alerts\t(Enabled)" << QStringList{"Orders", "Backup", "Alerts"};
  QTest::newRow("enable an enabled agent") << "Orders\t(Enabled)"
                                           << "Ena&ble"
                                           << "Orders\t(Enabled)" << unchanged;
  QTest::newRow("disable an enabled agent")
      << "Orders\t(Enabled)"
      << "&Disable"
      << "Orders\t(Disabled)" << QStringList{"Alerts", "Backup", "Orders"};
  QTest::newRow("disable a disabled agent") << "Alerts\t(Disabled)"
                                            << "&Disable"
                                            << "Alerts\t(Disabled)" << unchanged;
}

void TestQuorSheet::enableAndDisableMoveOnlyChangedAgentsToTheEnd() {
  QFETCH(QString, row);
  QFETCH(QString, button);
  QFETCH(QString, row_after);
  QFETCH(QStringList, order_after);
  FillProcessor();
  auto sheet = OpenSheet();
  QListWidget* list = AgentList(*sheet);
  SelectRow(list, row);
  ButtonNamed(sheet->agent_page(), button)->click();
  QCOMPARE(list->count(), 3);
  QVERIFY(RowWithText(list, row_after) >= 0);
  QCOMPARE(SelectedRow(list), RowWithText(list, row_after));
  QStringList order;
  for (const std::string& name : Names(sheet->agents())) order.append(QString::fromStdString(name));
  QCOMPARE(order, order_after);
  // The processor's own agents are untouched.
  QCOMPARE(Names(store_->Snapshot().agents),
           std::vector<std::string>({"Orders", "Alerts", "Backup"}));
  QCOMPARE(store_->Snapshot().agents[1].enabled, false);
  sheet->reject();
}

void TestQuorSheet::editWithOkMovesTheAgentToTheEndAndKeepsItsFlag() {
  FillProcessor();
  auto sheet = OpenSheet();
  QListWidget* list = AgentList(*sheet);
  MailAgent edited = Agent("Warnings", 1, "warn");  // the editor's flag does not count
  editor_answers_.push_back(edited);
  SelectRow(list, "Alerts\t(Disabled)");
  ButtonNamed(sheet->agent_page(), "&Edit...")->click();

  QCOMPARE(editor_titles_, QStringList{"Edit Mail Agent"});
  QCOMPARE(editor_inputs_.at(0), store_->Snapshot().agents[1]);  // a copy of the selected agent
  QCOMPARE(RowTexts(list),
           QStringList({"Backup\t(Enabled)", "Orders\t(Enabled)", "Warnings\t(Disabled)"}));
  QCOMPARE(SelectedRow(list), 2);
  std::vector<MailAgent> agents = sheet->agents();
  QCOMPARE(Names(agents), std::vector<std::string>({"Orders", "Backup", "Warnings"}));
  QCOMPARE(agents[2].enabled, 0);
  QCOMPARE(agents[2].conditions, edited.conditions);
  QCOMPARE(store_->Snapshot().agents[1].name, std::string("Alerts"));
  sheet->reject();
}

void TestQuorSheet::editWithCancelChangesNothing() {
  FillProcessor();
  auto sheet = OpenSheet();
  QListWidget* list = AgentList(*sheet);
  const QStringList rows = RowTexts(list);
  editor_answers_.push_back(std::nullopt);
  SelectRow(list, "Orders\t(Enabled)");
  ButtonNamed(sheet->agent_page(), "&Edit...")->click();
  QCOMPARE(editor_titles_.size(), 1);
  QCOMPARE(RowTexts(list), rows);
  QCOMPARE(sheet->agents(), store_->Snapshot().agents);
  sheet->reject();
}

void TestQuorSheet::newAgentIsAppendedEnabledAndSelected() {
  FillProcessor();
  auto sheet = OpenSheet();
  QListWidget* list = AgentList(*sheet);
  editor_answers_.push_back(Agent("Archive", 0, "x"));
  ButtonNamed(sheet->agent_page(), "&New...")->click();
  QCOMPARE(editor_titles_, QStringList{"New Mail Agent"});
  QCOMPARE(editor_inputs_.at(0), MailAgent{});
  QCOMPARE(SelectedRow(list), RowWithText(list, "Archive\t(Enabled)"));
  QCOMPARE(SelectedRow(list), 1);
  QVERIFY(ButtonNamed(sheet->agent_page(), "De&lete")->isEnabled());
  std::vector<MailAgent> agents = sheet->agents();
  QCOMPARE(agents.size(), size_t(4));
  QCOMPARE(agents.back().name, std::string("Archive"));
  QCOMPARE(agents.back().enabled, 1);

  // Cancel in the editor adds nothing.
  editor_answers_.push_back(std::nullopt);
  ButtonNamed(sheet->agent_page(), "&New...")->click();
  QCOMPARE(sheet->agents().size(), size_t(4));
  QCOMPARE(list->count(), 4);
  sheet->reject();
}

void TestQuorSheet::rowsWithTheSameTextEachOpenTheirOwnAgent() {
  store_->Install({Settings{}, {}, {Agent("Same", 1, "first"), Agent("Same", 1, "second")}});
  auto sheet = OpenSheet();
  QListWidget* list = AgentList(*sheet);
  QCOMPARE(RowTexts(list), QStringList({"Same\t(Enabled)", "Same\t(Enabled)"}));
  for (int row = 0; row < 2; ++row) {
    ClickRow(list, row);
    editor_answers_.push_back(std::nullopt);
    ButtonNamed(sheet->agent_page(), "&Edit...")->click();
  }
  QCOMPARE(editor_inputs_.size(), size_t(2));
  QVERIFY(editor_inputs_[0].conditions != editor_inputs_[1].conditions);

  // Disabling one of them changes that agent only.
  ClickRow(list, 1);
  const std::string subject = editor_inputs_[1].conditions.at(0).value;
  ButtonNamed(sheet->agent_page(), "&Disable")->click();
  std::vector<MailAgent> agents = sheet->agents();
  QCOMPARE(agents.back().enabled, 0);
  QCOMPARE(agents.back().conditions.at(0).value, subject);
  QCOMPARE(agents.front().enabled, 1);
  sheet->reject();
}

void TestQuorSheet::deleteRemovesTheAgentAndClearsTheSelection() {
  FillProcessor();
  auto sheet = OpenSheet();
  QListWidget* list = AgentList(*sheet);
  SelectRow(list, "Backup\t(Enabled)");
  ButtonNamed(sheet->agent_page(), "De&lete")->click();
  QCOMPARE(RowTexts(list), QStringList({"Alerts\t(Disabled)", "Orders\t(Enabled)"}));
  QCOMPARE(SelectedRow(list), -1);
  for (const char* button : {"&Edit...", "Ena&ble", "&Disable", "De&lete"}) {
    QVERIFY2(!ButtonNamed(sheet->agent_page(), button)->isEnabled(), button);
  }
  QCOMPARE(Names(sheet->agents()), std::vector<std::string>({"Orders", "Alerts"}));
  sheet->reject();
}

void TestQuorSheet::newAndEditOpenTheAgentEditorModally() {
  FillProcessor();
  // The sheet's own editor this time, not the scripted one.
  auto sheet = std::make_unique<QuorSheet>(store_->Snapshot());
  sheet->show();
  QListWidget* list = AgentList(*sheet);
  QString title;
  auto answer_editor = [&](const QString& name, QDialogButtonBox::StandardButton button) {
    QTimer::singleShot(0, this, [&title, name, button] {
      QWidget* editor = QApplication::activeModalWidget();
      QVERIFY(editor);
      title = editor->windowTitle();
      QLineEdit* name_field = FieldLabelled<QLineEdit>(editor, "Name:");
      QVERIFY(name_field);
      name_field->setText(name);
      editor->findChild<QDialogButtonBox*>()->button(button)->click();
    });
  };
  answer_editor("Invoices", QDialogButtonBox::Ok);
  ButtonNamed(sheet->agent_page(), "&New...")->click();
  QCOMPARE(title, QStringLiteral("New Mail Agent"));
  QCOMPARE(SelectedRow(list), RowWithText(list, "Invoices\t(Enabled)"));

  answer_editor("Ignored", QDialogButtonBox::Cancel);
  SelectRow(list, "Alerts\t(Disabled)");
  ButtonNamed(sheet->agent_page(), "&Edit...")->click();
  QCOMPARE(title, QStringLiteral("Edit Mail Agent"));
  QCOMPARE(Names(sheet->agents()),
           std::vector<std::string>({"Orders", "Alerts", "Backup", "Invoices"}));
  sheet->reject();
}

void TestQuorSheet::parseUnsignedField_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<bool>("valid");
  QTest::addColumn<uint>("value");
  QTest::newRow("zero") << "0" << true << 0u;
  QTest::newRow("blanks around") << " 5 " << true << 5u;
  QTest::newRow("tabs around") << "\t12\t" << true << 12u;
  QTest::newRow("plus sign") << "+7" << true << 7u;
  QTest::newRow("leading zeros") << "007" << true << 7u;
  QTest::newRow("beyond 32 bits saturates") << "99999999999" << true << 4294967295u;
  QTest::newRow("empty") << "" << false << 0u;
  QTest::newRow("blanks only") << "   " << false << 0u;
  QTest::newRow("minus") << "-1" << false << 0u;
  QTest::newRow("sign alone") << "+" << false << 0u;
  QTest::newRow("trailing letter") << "5x" << false << 0u;
  QTest::newRow("two numbers") << "5 5" << false << 0u;
  QTest::newRow("blank after sign") << "+ 5" << false << 0u;
  QTest::newRow("decimal point") << "1.5" << false << 0u;
}

void TestQuorSheet::parseUnsignedField() {
  QFETCH(QString, text);
  QFETCH(bool, valid);
  QFETCH(uint, value);
  std::optional<uint32_t> parsed = ParseUnsignedField(text.toStdString());
  QCOMPARE(parsed.has_value(), valid);
  if (valid) QCOMPARE(*parsed, value);
}

void TestQuorSheet::checkIntervalIsValidatedWhenLeavingThePage_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<QString>("message");
  QTest::addColumn<int>("stored");
  const QString positive = "Please enter a positive integer.";
  const QString range = "Please enter an integer between 0 and 1000.";
  QTest::newRow("0") << "0"
                     << "" << 0;
  QTest::newRow("1000") << "1000"
                        << "" << 1000;
  QTest::newRow("1001") << "1001" << range << 7;
  QTest::newRow("blanks around 5") << " 5 "
                                   << "" << 5;
  QTest::newRow("-1") << "-1" << positive << 7;
  QTest::newRow("5x") << "5x" << positive << 7;
  QTest::newRow("empty") << "" << positive << 7;
}

void TestQuorSheet::checkIntervalIsValidatedWhenLeavingThePage() {
  QFETCH(QString, text);
  QFETCH(QString, message);
  QFETCH(int, stored);
  FillProcessor();
  auto sheet = OpenSheet();
  RecordWarnings(*sheet);
  QVERIFY(QTest::qWaitForWindowActive(sheet.get()));
  ShowTab(*sheet, "Settings");
  auto* interval = FieldLabelled<QLineEdit>(sheet->settings_page(), "Check Incoming Mail Every:");
  interval->setText(text);
  ShowTab(*sheet, "Mailboxes");

  if (message.isEmpty()) {
    QVERIFY(warnings_.isEmpty());
    QCOMPARE(sheet->tabs()->currentWidget(), sheet->mailbox_page());
  } else {
    QCOMPARE(warnings_, QStringList{message});
    QCOMPARE(sheet->tabs()->currentWidget(), sheet->settings_page());
    QVERIFY(interval->hasFocus());
    QCOMPARE(interval->selectedText(), text);
  }
  QCOMPARE(sheet->settings().check_interval_minutes, stored);
  sheet->reject();
}

void TestQuorSheet::sizeLimitHasNoUpperBoundOfItsOwn_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<QString>("message");
  QTest::addColumn<int>("stored");
  QTest::newRow("0 means no limit") << "0"
                                    << "" << 0;
  QTest::newRow("far beyond 1000") << "4000000"
                                   << "" << 4000000;
  QTest::newRow("largest storable") << "2147483647"
                                    << "" << 2147483647;
  // Stored as a signed 32-bit number: a larger one would come back negative.
  QTest::newRow("too large to store") << "2147483648"
                                      << "Please enter an integer between 0 and 2147483647." << 250;
  QTest::newRow("negative") << "-5"
                            << "Please enter a positive integer." << 250;
  QTest::newRow("letters") << "abc"
                           << "Please enter a positive integer." << 250;
}

void TestQuorSheet::sizeLimitHasNoUpperBoundOfItsOwn() {
  QFETCH(QString, text);
  QFETCH(QString, message);
  QFETCH(int, stored);
  FillProcessor();
  auto sheet = OpenSheet();
  RecordWarnings(*sheet);
  QVERIFY(QTest::qWaitForWindowActive(sheet.get()));
  ShowTab(*sheet, "Settings");
  auto* size = FieldLabelled<QLineEdit>(sheet->settings_page(), "Ignore Message Larger Than:");
  size->setText(text);
  ShowTab(*sheet, "Mail Agents");
  QCOMPARE(warnings_, message.isEmpty() ? QStringList() : QStringList{message});
  QCOMPARE(sheet->settings().size_limit_kilobytes, stored);
  if (!message.isEmpty()) {
    QCOMPARE(sheet->tabs()->currentWidget(), sheet->settings_page());
    QVERIFY(size->hasFocus());
    QCOMPARE(size->selectedText(), text);
  }
  sheet->reject();
}

void TestQuorSheet::okValidatesTheDisplayedSettingsPage() {
  FillProcessor();
  auto sheet = OpenSheet();
  RecordWarnings(*sheet);
  ShowTab(*sheet, "Settings");
  FieldLabelled<QLineEdit>(sheet->settings_page(), "Check Incoming Mail Every:")->setText("abc");
  auto* box = sheet->findChild<QDialogButtonBox*>();
  box->button(QDialogButtonBox::Ok)->click();
  QCOMPARE(warnings_, QStringList{"Please enter a positive integer."});
  QVERIFY(sheet->isVisible());
  QCOMPARE(sheet->result(), int(QDialog::Rejected));

  FieldLabelled<QLineEdit>(sheet->settings_page(), "Check Incoming Mail Every:")->setText("3");
  box->button(QDialogButtonBox::Ok)->click();
  QVERIFY(!sheet->isVisible());
  QCOMPARE(sheet->result(), int(QDialog::Accepted));
  QCOMPARE(sheet->settings().check_interval_minutes, 3);

  // Cancel does not validate.
  auto second = OpenSheet();
  RecordWarnings(*second);
  ShowTab(*second, "Settings");
  FieldLabelled<QLineEdit>(second->settings_page(), "Check Incoming Mail Every:")->setText("x");
  second->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->click();
  QVERIFY(!second->isVisible());
  QCOMPARE(warnings_.size(), 1);
}

void TestQuorSheet::validationMessageIsAWarningBox() {
  FillProcessor();
  auto sheet = OpenSheet();
  ShowTab(*sheet, "Settings");
  FieldLabelled<QLineEdit>(sheet->settings_page(), "Check Incoming Mail Every:")->setText("1001");
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QTimer::singleShot(0, this, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    QVERIFY(box);
    text = box->text();
    icon = box->icon();
    box->accept();
  });
  ShowTab(*sheet, "Mailboxes");
  QCOMPARE(text, QStringLiteral("Please enter an integer between 0 and 1000."));
  QCOMPARE(icon, QMessageBox::Warning);
  QCOMPARE(sheet->tabs()->currentWidget(), sheet->settings_page());
  sheet->reject();
}

void TestQuorSheet::settingsComeBackFromTheirControls() {
  FillProcessor();
  auto sheet = OpenSheet();
  ShowTab(*sheet, "Settings");
  MainSettingsPage* page = sheet->settings_page();
  QCOMPARE(FieldLabelled<QLineEdit>(page, "Name:")->text(), QStringLiteral("Me"));
  QCOMPARE(ControlNamed<QLineEdit>(page, "Log file")->text(), QStringLiteral("/tmp/q.log"));
  QVERIFY(ButtonNamed<QCheckBox>(page, "Log All Events to a File:")->isChecked());

  const std::pair<const char*, const char*> edits[] = {
      {"Name:", "New Name"},
      {"Organization:", "New Org"},
      {"E-mail Address:", "new@example.org"},
      {"Reply-To:", ""},
      {"Outgoing Mail (SMTP) Server:", "127.0.0.1:2525"},
      {"Check Incoming Mail Every:", "15"},
      {"Ignore Message Larger Than:", "0"},
  };
  for (const auto& [label, text] : edits) {
    QLineEdit* field = FieldLabelled<QLineEdit>(page, label);
    field->clear();
    QTest::keyClicks(field, text);
  }
  ControlNamed<QLineEdit>(page, "Log file")->setText("/var/log/other.log");
  ButtonNamed<QCheckBox>(page, "Log All Events to a File:")->click();
  ButtonNamed<QCheckBox>(page, "Exit Automatically After Checking Messages")->click();
  sheet->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
  QCOMPARE(sheet->result(), int(QDialog::Accepted));

  Settings expected;
  expected.sender_name = "New Name";
  expected.organization = "New Org";
  expected.email_address = "new@example.org";
  expected.reply_address = "";
  expected.smtp_server = "127.0.0.1:2525";
  expected.check_interval_minutes = 15;
  expected.size_limit_kilobytes = 0;
  expected.log_file = "/var/log/other.log";
  expected.log_to_file = 0;
  expected.exit_after_check = 1;
  QVERIFY(sheet->settings() == expected);
  // Nothing reached the processor: installing is the caller's job.
  QCOMPARE(store_->Snapshot().settings.sender_name, std::string("Me"));
}

void TestQuorSheet::smtpLoginAndOptionsComeBackFromTheirControls_data() {
  // Indexes into kSmtpValues: what the profile holds, what the user sets.
  QTest::addColumn<int>("loaded");
  QTest::addColumn<int>("edited");
  QTest::newRow("None, no login, both off -> STARTTLS, login, reply on") << 0 << 1;
  QTest::newRow("STARTTLS, login, reply on -> SSL/TLS, other login, decode on") << 1 << 2;
  QTest::newRow("SSL/TLS, login, decode on -> None, no login, both off") << 2 << 0;
  QTest::newRow("STARTTLS, login, reply on, untouched") << 1 << 1;
}

void TestQuorSheet::smtpLoginAndOptionsComeBackFromTheirControls() {
  QFETCH(int, loaded);
  QFETCH(int, edited);
  const SmtpValues& from = kSmtpValues[loaded];
  const SmtpValues& to = kSmtpValues[edited];
  Settings settings;
  settings.smtp_server = "smtp.example.org";
  Apply(from, settings);
  store_->Install({settings, {}, {}});
  auto sheet = OpenSheet();
  ShowTab(*sheet, "Settings");
  MainSettingsPage* page = sheet->settings_page();
  auto* security = FieldLabelled<QComboBox>(page, "SMTP &Security:");
  auto* user_name = FieldLabelled<QLineEdit>(page, "SMTP &User Name:");
  auto* password = FieldLabelled<QLineEdit>(page, "SMTP &Password:");
  auto* reply = ButtonNamed<QCheckBox>(page, "&Reply to automatic messages");
  auto* decode = ButtonNamed<QCheckBox>(page, "&Decode international text");

  QCOMPARE(security->currentText(), SecurityText(from.security));
  QCOMPARE(user_name->text().toStdString(), from.user_name);
  QCOMPARE(password->text().toStdString(), from.password);
  QCOMPARE(reply->isChecked(), from.reply_to_automatic);
  QCOMPARE(decode->isChecked(), from.decode_text);

  security->setCurrentIndex(security->findText(SecurityText(to.security)));
  user_name->clear();
  QTest::keyClicks(user_name, QString::fromStdString(to.user_name));
  password->clear();
  QTest::keyClicks(password, QString::fromStdString(to.password));
  // What was typed is masked.
  if (!to.password.empty())
    QVERIFY(!password->displayText().contains(QString::fromStdString(to.password)));
  if (reply->isChecked() != to.reply_to_automatic) reply->click();
  if (decode->isChecked() != to.decode_text) decode->click();
  sheet->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
  QCOMPARE(sheet->result(), int(QDialog::Accepted));

  Settings expected = settings;
  Apply(to, expected);
  QVERIFY(sheet->settings() == expected);
  QVERIFY(store_->Snapshot().settings == settings);  // installing is the caller's job
}

void TestQuorSheet::settingsOfAnUnvisitedPageComeBackUnchanged() {
  FillProcessor();
  auto sheet = OpenSheet();
  sheet->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
  QCOMPARE(sheet->result(), int(QDialog::Accepted));
  QVERIFY(sheet->settings() == store_->Snapshot().settings);
  QCOMPARE(sheet->agents(), store_->Snapshot().agents);
  QCOMPARE(Labels(sheet->mailboxes()), Labels(store_->Snapshot().mailboxes));
}

void TestQuorSheet::mailboxRowsAreSortedAndSelectionFillsTheFields() {
  FillProcessor();
  auto sheet = OpenSheet();
  ShowTab(*sheet, "Mailboxes");
  MainMailboxPage* page = sheet->mailbox_page();
  QListWidget* list = MailboxList(*sheet);
  QCOMPARE(RowTexts(list), QStringList({"ann@pop.a.org", "bob@pop.c.org", "zed@pop.b.org"}));
  QCOMPARE(SelectedRow(list), -1);
  auto* server = FieldLabelled<QLineEdit>(page, "Mail Server:");
  auto* user = FieldLabelled<QLineEdit>(page, "Account Name:");
  auto* password = FieldLabelled<QLineEdit>(page, "Password:");
  QVERIFY(server->text().isEmpty() && user->text().isEmpty() && password->text().isEmpty());
  QCOMPARE(MailboxSecurity(*sheet)->currentText(), QStringLiteral("SSL/TLS"));  // for a new one

  SelectRow(list, "zed@pop.b.org");
  QCOMPARE(server->text(), QStringLiteral("pop.b.org"));
  QCOMPARE(user->text(), QStringLiteral("zed"));
  QCOMPARE(password->text(), QStringLiteral("pw1"));
  QCOMPARE(MailboxSecurity(*sheet)->currentText(), QStringLiteral("None"));
  QVERIFY(!password->displayText().contains(QStringLiteral("pw1")));
  sheet->reject();
}

void TestQuorSheet::addNeedsServerAndAccountName_data() {
  QTest::addColumn<QString>("server");
  QTest::addColumn<QString>("user");
  QTest::addColumn<QString>("password");
  QTest::addColumn<bool>("added");
  QTest::newRow("all three") << "pop.d.org"
                             << "dan"
                             << "pw" << true;
  QTest::newRow("empty password") << "pop.d.org"
                                  << "dan"
                                  << "" << true;
  QTest::newRow("duplicate of an existing account") << "pop.a.org"
                                                    << "ann"
                                                    << "pw2" << true;
  QTest::newRow("empty server") << ""
                                << "dan"
                                << "pw" << false;
  QTest::newRow("empty account name") << "pop.d.org"
                                      << ""
                                      << "pw" << false;
}

void TestQuorSheet::addNeedsServerAndAccountName() {
  QFETCH(QString, server);
  QFETCH(QString, user);
  QFETCH(QString, password);
  QFETCH(bool, added);
  FillProcessor();
  auto sheet = OpenSheet();
  ShowTab(*sheet, "Mailboxes");
  MainMailboxPage* page = sheet->mailbox_page();
  QListWidget* list = MailboxList(*sheet);
  SelectRow(list, "bob@pop.c.org");
  FieldLabelled<QLineEdit>(page, "Mail Server:")->setText(server);
  FieldLabelled<QLineEdit>(page, "Account Name:")->setText(user);
  FieldLabelled<QLineEdit>(page, "Password:")->setText(password);
  ButtonNamed(page, "&Add")->click();

  std::vector<MailboxAccount> accounts = sheet->mailboxes();
  QCOMPARE(accounts.size(), size_t(added ? 4 : 3));
  QCOMPARE(list->count(), added ? 4 : 3);
  if (added) {
    QCOMPARE(accounts.back().Label(), (user + "@" + server).toStdString());
    QCOMPARE(accounts.back().password, password.toStdString());
    QVERIFY(accounts.back().last_message.empty());
    QCOMPARE(accounts.back().id, uint64_t(0));
  }
  // The selection stays and the fields keep their text.
  QCOMPARE(list->selectedItems().size(), qsizetype(1));
  QCOMPARE(list->selectedItems().first()->text(), QStringLiteral("bob@pop.c.org"));
  QCOMPARE(FieldLabelled<QLineEdit>(page, "Mail Server:")->text(), server);
  QCOMPARE(FieldLabelled<QLineEdit>(page, "Password:")->text(), password);
  sheet->reject();
}

void TestQuorSheet::replaceKeepsTheMarkerAndMovesTheAccountToTheEnd() {
  FillProcessor();
  auto sheet = OpenSheet();
  ShowTab(*sheet, "Mailboxes");
  MainMailboxPage* page = sheet->mailbox_page();
  QListWidget* list = MailboxList(*sheet);
  const uint64_t zed_id = store_->Snapshot().mailboxes[0].id;

  // Without a selection Replace does nothing.
  FieldLabelled<QLineEdit>(page, "Mail Server:")->setText("x");
  ButtonNamed(page, "&Replace")->click();
  QCOMPARE(Labels(sheet->mailboxes()), Labels(store_->Snapshot().mailboxes));

  SelectRow(list, "zed@pop.b.org");
  FieldLabelled<QLineEdit>(page, "Mail Server:")->setText("pop.new.org");
  FieldLabelled<QLineEdit>(page, "Password:")->clear();  // taken as it is, empty too
  ButtonNamed(page, "&Replace")->click();

  QCOMPARE(RowTexts(list), QStringList({"ann@pop.a.org", "bob@pop.c.org", "zed@pop.new.org"}));
  QCOMPARE(SelectedRow(list), 2);
  std::vector<MailboxAccount> accounts = sheet->mailboxes();
  QCOMPARE(Labels(accounts),
           std::vector<std::string>({"ann@pop.a.org", "bob@pop.c.org", "zed@pop.new.org"}));
  QCOMPARE(accounts[2].last_message, std::string("uid-1"));
  QCOMPARE(accounts[2].password, std::string());
  QCOMPARE(accounts[2].id, zed_id);
  // The processor's account has not changed under a running pass.
  QCOMPARE(store_->Snapshot().mailboxes[0].server, std::string("pop.b.org"));
  sheet->reject();
}

void TestQuorSheet::clickingTheSelectedRowPutsItsValuesBack() {
  FillProcessor();
  auto sheet = OpenSheet();
  ShowTab(*sheet, "Mailboxes");
  MainMailboxPage* page = sheet->mailbox_page();
  QListWidget* list = MailboxList(*sheet);
  auto* server = FieldLabelled<QLineEdit>(page, "Mail Server:");
  auto* user = FieldLabelled<QLineEdit>(page, "Account Name:");
  auto* password = FieldLabelled<QLineEdit>(page, "Password:");
  SelectRow(list, "zed@pop.b.org");
  // Values for another account are typed over the selected one's ...
  for (const auto& [field, text] : {std::pair{server, "pop.other.org"}, std::pair{user, "other"},
                                    std::pair{password, "typed"}}) {
    field->clear();
    QTest::keyClicks(field, text);
  }
  // ... then the user clicks the selected row to get its values back.
  SelectRow(list, "zed@pop.b.org");
  QCOMPARE(server->text(), QStringLiteral("pop.b.org"));
  QCOMPARE(user->text(), QStringLiteral("zed"));
  QCOMPARE(password->text(), QStringLiteral("pw1"));

  ButtonNamed(page, "&Replace")->click();
  QCOMPARE(RowTexts(list), QStringList({"ann@pop.a.org", "bob@pop.c.org", "zed@pop.b.org"}));
  const MailboxAccount zed = sheet->mailboxes().back();
  QCOMPARE(zed.Label(), std::string("zed@pop.b.org"));
  QCOMPARE(zed.password, std::string("pw1"));
  QCOMPARE(zed.last_message, std::string("uid-1"));
  sheet->reject();
}

void TestQuorSheet::deleteRemovesTheAccountAndKeepsTheFields() {
  FillProcessor();
  auto sheet = OpenSheet();
  ShowTab(*sheet, "Mailboxes");
  MainMailboxPage* page = sheet->mailbox_page();
  QListWidget* list = MailboxList(*sheet);
  ButtonNamed(page, "&Delete")->click();  // nothing selected: nothing happens
  QCOMPARE(list->count(), 3);

  SelectRow(list, "bob@pop.c.org");
  ButtonNamed(page, "&Delete")->click();
  QCOMPARE(RowTexts(list), QStringList({"ann@pop.a.org", "zed@pop.b.org"}));
  QCOMPARE(SelectedRow(list), -1);
  QCOMPARE(FieldLabelled<QLineEdit>(page, "Mail Server:")->text(), QStringLiteral("pop.c.org"));
  QCOMPARE(FieldLabelled<QLineEdit>(page, "Account Name:")->text(), QStringLiteral("bob"));
  QCOMPARE(Labels(sheet->mailboxes()),
           std::vector<std::string>({"zed@pop.b.org", "ann@pop.a.org"}));
  sheet->reject();
}

void TestQuorSheet::eachAccountShowsItsOwnSecurity() {
  FillProcessor();
  auto sheet = OpenSheet();
  ShowTab(*sheet, "Mailboxes");
  MainMailboxPage* page = sheet->mailbox_page();
  QListWidget* list = MailboxList(*sheet);
  QComboBox* security = MailboxSecurity(*sheet);
  for (const auto& [row, shown] :
       {std::pair{"ann@pop.a.org", "STARTTLS"}, std::pair{"zed@pop.b.org", "None"},
        std::pair{"bob@pop.c.org", "SSL/TLS"}, std::pair{"ann@pop.a.org", "STARTTLS"}}) {
    SelectRow(list, row);
    QCOMPARE(security->currentText(), QString(shown));
  }

  // A choice without Replace is not the account's, as with the other fields ...
  SelectRow(list, "zed@pop.b.org");
  security->setCurrentIndex(security->findText("SSL/TLS"));
  SelectRow(list, "ann@pop.a.org");
  SelectRow(list, "zed@pop.b.org");
  QCOMPARE(security->currentText(), QStringLiteral("None"));
  // ... with Replace it is, and the other accounts keep theirs.
  security->setCurrentIndex(security->findText("STARTTLS"));
  ButtonNamed(page, "&Replace")->click();
  SelectRow(list, "bob@pop.c.org");
  QCOMPARE(security->currentText(), QStringLiteral("SSL/TLS"));
  SelectRow(list, "zed@pop.b.org");
  QCOMPARE(security->currentText(), QStringLiteral("STARTTLS"));
  QCOMPARE(Labels(sheet->mailboxes()),
           std::vector<std::string>({"ann@pop.a.org", "bob@pop.c.org", "zed@pop.b.org"}));
  QCOMPARE(Securities(sheet->mailboxes()),
           std::vector<ConnectionSecurity>({ConnectionSecurity::kStartTls,
                                            ConnectionSecurity::kImplicitTls,
                                            ConnectionSecurity::kStartTls}));
  sheet->reject();
}

void TestQuorSheet::addTakesTheSecurityShownSslTlsUnlessChanged_data() {
  QTest::addColumn<QString>("chosen");  // empty: left as the page opened
  QTest::addColumn<ConnectionSecurity>("added");
  QTest::newRow("preselected") << QString() << ConnectionSecurity::kImplicitTls;
  QTest::newRow("None chosen") << "None" << ConnectionSecurity::kNone;
  QTest::newRow("STARTTLS chosen") << "STARTTLS" << ConnectionSecurity::kStartTls;
}

void TestQuorSheet::addTakesTheSecurityShownSslTlsUnlessChanged() {
  QFETCH(QString, chosen);
  QFETCH(ConnectionSecurity, added);
  FillProcessor();
  auto sheet = OpenSheet();
  ShowTab(*sheet, "Mailboxes");
  MainMailboxPage* page = sheet->mailbox_page();
  QComboBox* security = MailboxSecurity(*sheet);
  if (!chosen.isEmpty()) security->setCurrentIndex(security->findText(chosen));
  FieldLabelled<QLineEdit>(page, "Mail Server:")->setText("pop.d.org");
  FieldLabelled<QLineEdit>(page, "Account Name:")->setText("dan");
  ButtonNamed(page, "&Add")->click();
  sheet->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
  QCOMPARE(sheet->result(), int(QDialog::Accepted));
  store_->Install(sheet->configuration());

  // The accounts from the profile keep theirs, None included.
  const std::vector<MailboxAccount> installed = store_->Snapshot().mailboxes;
  QCOMPARE(Labels(installed), std::vector<std::string>({"zed@pop.b.org", "ann@pop.a.org",
                                                        "bob@pop.c.org", "dan@pop.d.org"}));
  QCOMPARE(Securities(installed), std::vector<ConnectionSecurity>(
                                      {ConnectionSecurity::kNone, ConnectionSecurity::kStartTls,
                                       ConnectionSecurity::kImplicitTls, added}));
}

void TestQuorSheet::cancelAfterDeleteAndReplaceLeavesTheProcessorUnchanged() {
  FillProcessor();
  const std::vector<MailAgent> agents_before = store_->Snapshot().agents;
  const std::vector<MailboxAccount> accounts_before = store_->Snapshot().mailboxes;
  const Settings settings_before = store_->Snapshot().settings;

  auto sheet = OpenSheet();
  SelectRow(AgentList(*sheet), "Orders\t(Enabled)");
  ButtonNamed(sheet->agent_page(), "De&lete")->click();
  editor_answers_.push_back(Agent("Changed", 1));
  SelectRow(AgentList(*sheet), "Alerts\t(Disabled)");
  ButtonNamed(sheet->agent_page(), "&Edit...")->click();

  ShowTab(*sheet, "Settings");
  FieldLabelled<QLineEdit>(sheet->settings_page(), "Name:")->setText("Someone Else");
  FieldLabelled<QComboBox>(sheet->settings_page(), "SMTP &Security:")->setCurrentIndex(2);
  FieldLabelled<QLineEdit>(sheet->settings_page(), "SMTP &User Name:")->setText("someone");
  ButtonNamed<QCheckBox>(sheet->settings_page(), "&Decode international text")->click();
  ShowTab(*sheet, "Mailboxes");
  MainMailboxPage* page = sheet->mailbox_page();
  SelectRow(MailboxList(*sheet), "ann@pop.a.org");
  FieldLabelled<QLineEdit>(page, "Mail Server:")->setText("elsewhere.org");
  FieldLabelled<QLineEdit>(page, "Password:")->setText("stolen");
  MailboxSecurity(*sheet)->setCurrentIndex(0);  // None
  ButtonNamed(page, "&Replace")->click();
  SelectRow(MailboxList(*sheet), "zed@pop.b.org");
  ButtonNamed(page, "&Delete")->click();
  sheet->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->click();

  QCOMPARE(store_->Snapshot().agents, agents_before);
  QVERIFY(store_->Snapshot().settings == settings_before);
  const std::vector<MailboxAccount> accounts_after = store_->Snapshot().mailboxes;
  QCOMPARE(accounts_after.size(), accounts_before.size());
  for (size_t index = 0; index < accounts_before.size(); ++index) {
    QCOMPARE(accounts_after[index].Label(), accounts_before[index].Label());
    QCOMPARE(accounts_after[index].password, accounts_before[index].password);
    QCOMPARE(accounts_after[index].last_message, accounts_before[index].last_message);
    QCOMPARE(accounts_after[index].security, accounts_before[index].security);
  }
}

void TestQuorSheet::okInstallsReplacedAccountWithTheProcessorsCurrentMarker() {
  FillProcessor();
  auto sheet = OpenSheet();
  ShowTab(*sheet, "Mailboxes");
  MainMailboxPage* page = sheet->mailbox_page();
  SelectRow(MailboxList(*sheet), "zed@pop.b.org");
  FieldLabelled<QLineEdit>(page, "Mail Server:")->setText("pop.moved.org");
  ButtonNamed(page, "&Replace")->click();
  QCOMPARE(sheet->mailboxes().back().last_message, std::string("uid-1"));
  // The processor's marker changes while the sheet is open, as a pass or a
  // Reset would change it; installing must not bring the stale copy back.
  store_->ClearMarkers();
  sheet->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
  store_->Install(sheet->configuration());

  std::vector<MailboxAccount> installed = store_->Snapshot().mailboxes;
  QCOMPARE(Labels(installed),
           std::vector<std::string>({"ann@pop.a.org", "bob@pop.c.org", "zed@pop.moved.org"}));
  for (const MailboxAccount& account : installed) QVERIFY(account.last_message.empty());
}

}  // namespace quor

QTEST_MAIN(quor::TestQuorSheet)
#include "tst_quor_sheet.moc"
