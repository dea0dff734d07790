// Every dialog driven from the keyboard only: where the focus is when it
// opens, and where Tab takes it from there. Controls are told apart by what a
// screen reader reads for them (their accessible names).

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <memory>

#include "agent_editor_test_helpers.h"
#include "config/configuration.h"
#include "ui/action_dialog.h"
#include "ui/agent_actions_page.h"
#include "ui/agent_editor.h"
#include "ui/main_settings_page.h"
#include "ui/quor_sheet.h"

namespace quor {

enum class Dialog {
  kSendMessage,
  kForwardMessage,
  kExecuteProgram,
  kSaveData,
  kSaveDataWithFormat,  // the third method ticked
  kSaveAttachments,
  kAgentEditor,
  kSetupSheet,
};

}  // namespace quor

Q_DECLARE_METATYPE(quor::Dialog)

namespace quor {

namespace {

// The longest Tab cycle of any dialog, with room to spare; a chain that does
// not come back by then never will.
constexpr int kMaximumTabStops = 40;

// What a screen reader reads as the widget's name: a label's text without
// its mnemonic marker, a button's text, a drop-down's current item.
QString ReadName(QWidget* widget) {
  QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
  return accessible ? accessible->text(QAccessible::Name) : QString();
}

// What names a control for a person: its accessible name when it was given
// one, else the label whose buddy it is, else what the accessibility
// interface reads (a button's text). On this platform a combo box's
// accessible name is its current item, so its label has to come first.
QString ControlName(QWidget* widget) {
  if (!widget) return QStringLiteral("(no focus)");
  if (!widget->accessibleName().isEmpty()) return widget->accessibleName();
  for (QLabel* label : widget->window()->findChildren<QLabel*>()) {
    if (label->buddy() == widget) return ReadName(label);
  }
  return ReadName(widget);
}

QWidget* Focused() { return QApplication::focusWidget(); }

// What Tab visits from the focused control until the focus comes back to it.
QStringList TabCycle() {
  QWidget* start = Focused();
  QStringList visited{ControlName(start)};
  for (int stop = 0; stop < kMaximumTabStops; ++stop) {
    QTest::keyClick(Focused(), Qt::Key_Tab);
    if (Focused() == start) return visited;
    visited.append(ControlName(Focused()));
  }
  visited.append(QStringLiteral("(never came back)"));
  return visited;
}

// The user clicks the tab with that text; the focus moves into its page.
void ClickTab(QDialog* dialog, const QString& tab) {
  QTabBar* tabs = dialog->findChild<QTabWidget*>()->tabBar();
  for (int index = 0; index < tabs->count(); ++index) {
    if (tabs->tabText(index) == tab) {
      QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(index).center());
    }
  }
}

ActionType ActionTypeOf(Dialog dialog) {
  switch (dialog) {
    case Dialog::kSendMessage:
      return ActionType::kSend;
    case Dialog::kForwardMessage:
      return ActionType::kForward;
    case Dialog::kExecuteProgram:
      return ActionType::kRunProgram;
    case Dialog::kSaveData:
    case Dialog::kSaveDataWithFormat:
      return ActionType::kSaveData;
    default:
      return ActionType::kSaveAttachments;
  }
}

}  // namespace

class TestKeyboardFocus : public QObject {
  Q_OBJECT

 private slots:
  void cleanup();

  void dialogOpensOnItsFirstFieldAndTabFollowsTheLayout_data();
  void dialogOpensOnItsFirstFieldAndTabFollowsTheLayout();
  void saveDataTakesATypedFileNameAndEnter();
  void settingsNumberFieldsAreReadWithTheirOwnLabels_data();
  void settingsNumberFieldsAreReadWithTheirOwnLabels();
  void sheetFieldsAreFocusedByTheirMnemonicAndNamedByTheirLabel_data();
  void sheetFieldsAreFocusedByTheirMnemonicAndNamedByTheirLabel();
  void sheetPagesHaveNoMnemonicTwice_data();
  void sheetPagesHaveNoMnemonicTwice();

 private:
  std::unique_ptr<QDialog> Open(Dialog dialog);

  Configuration configuration_;
};

void TestKeyboardFocus::cleanup() { QVERIFY(NoWindowOpen()); }

std::unique_ptr<QDialog> TestKeyboardFocus::Open(Dialog dialog) {
  std::unique_ptr<QDialog> opened;
  if (dialog == Dialog::kAgentEditor) {
    opened = std::make_unique<AgentEditor>(QStringLiteral("New Mail Agent"), MailAgent{});
  } else if (dialog == Dialog::kSetupSheet) {
    opened = std::make_unique<QuorSheet>(configuration_);
  } else {
    const ActionType type = ActionTypeOf(dialog);
    AgentAction action(ActionTypeName(type), type);
    if (dialog == Dialog::kSaveDataWithFormat) action.SetProperty("savemethod", "2");
    opened = NewActionEditor(action, {}, nullptr);
  }
  opened->show();
  if (!QTest::qWaitForWindowActive(opened.get())) qWarning("dialog not active");
  return opened;
}

void TestKeyboardFocus::dialogOpensOnItsFirstFieldAndTabFollowsTheLayout_data() {
  QTest::addColumn<Dialog>("dialog");
  QTest::addColumn<QString>("tab");  // the page shown before tabbing; empty: as opened
  QTest::addColumn<QStringList>("cycle");

  QTest::newRow("Send Message") << Dialog::kSendMessage << QString()
                                << QStringList{"Mail To:",
                                               "CC:",
                                               "Subject:",
                                               "Message Template:",
                                               "...",
                                               "File to Attach:",
                                               "...",
                                               "Add attachment",
                                               "Remove attachment",
                                               "Attachments",
                                               "OK",
                                               "Cancel"};
  QTest::newRow("Forward Incoming Message")
      << Dialog::kForwardMessage << QString() << QStringList{"Forward to:", "OK", "Cancel"};
  QTest::newRow("Execute a Program")
      << Dialog::kExecuteProgram << QString()
      << QStringList{"Program Path:", "...", "Arguments:", "Wait until program completes", "OK",
                     "Cancel"};
  QTest::newRow("Save Message Data to a File")
      << Dialog::kSaveData << QString()
      << QStringList{"Output filename:",
                     "...",
                     "Append data to existing file",
                     "Save the entire message",  // the ticked method; arrows reach the others
                     "Template file",
                     "...",
                     "Available Data:",
                     "Insert",
                     "Format",
                     "OK",
                     "Cancel"};
  QTest::newRow("Save Message Data to a File, format ticked")
      << Dialog::kSaveDataWithFormat << QString()
      << QStringList{"Output filename:",
                     "...",
                     "Append data to existing file",
                     "Template file",
                     "...",
                     "Save using the format below (add text, data fields, etc.):",
                     "Available Data:",
                     "Insert",
                     "Format",
                     "OK",
                     "Cancel"};
  QTest::newRow("Save Message Attachments")
      << Dialog::kSaveAttachments << QString()
      << QStringList{"Output directory:",
                     "...",
                     "Base filename:",
                     "Use original filename if available (ignores base filename)",
                     "Append a unique number to the filename (file1, file2, etc.)",
                     "OK",
                     "Cancel"};

  // The tab bar stands above a page, so it comes after Cancel in the cycle.
  QTest::newRow("agent editor, General")
      << Dialog::kAgentEditor << QString()
      << QStringList{"Name:",  "Join",   "Field",      "Operator", "Value",  "Add",    "Replace",
                     "Insert", "Delete", "Conditions", "OK",       "Cancel", "General"};
  QTest::newRow("agent editor, Extraction") << Dialog::kAgentEditor << "Extraction"
                                            << QStringList{"Begin extracting text after:",
                                                           "Extract until finding:",
                                                           "Save extraction as variable:",
                                                           "Add",
                                                           "Replace",
                                                           "Insert",
                                                           "Delete",
                                                           "Extraction rules",
                                                           "OK",
                                                           "Cancel",
                                                           "Extraction"};
  // With no action selected, only the type and Add take the focus.
  QTest::newRow("agent editor, Actions")
      << Dialog::kAgentEditor << "Actions"
      << QStringList{"Actions to perform:", "Add...", "Actions", "OK", "Cancel", "Actions"};

  QTest::newRow("setup sheet, Mail Agents")
      << Dialog::kSetupSheet << QString()
      << QStringList{"Agent Name:", "New...", "OK", "Cancel", "Mail Agents"};
  QTest::newRow("setup sheet, Settings")
      << Dialog::kSetupSheet << "Settings"
      << QStringList{"Name:",
                     "Organization:",
                     "E-mail Address:",
                     "Reply-To:",
                     "Outgoing Mail (SMTP) Server:",
                     "SMTP Security:",
                     "SMTP User Name:",
                     "SMTP Password:",
                     "Check Incoming Mail Every:",
                     "Ignore Message Larger Than:",
                     "Log All Events to a File:",
                     "Log file",
                     "Exit Automatically After Checking Messages",
                     "Reply to automatic messages",
                     "Decode international text",
                     "OK",
                     "Cancel",
                     "Settings"};
  QTest::newRow("setup sheet, Mailboxes")
      << Dialog::kSetupSheet << "Mailboxes"
      << QStringList{
             "Mail Server:", "Account Name:", "Password:", "Security:", "Add",      "Replace",
             "Delete",       "Mailboxes",     "OK",        "Cancel",    "Mailboxes"};
}

void TestKeyboardFocus::dialogOpensOnItsFirstFieldAndTabFollowsTheLayout() {
  QFETCH(Dialog, dialog);
  QFETCH(QString, tab);
  QFETCH(QStringList, cycle);
  std::unique_ptr<QDialog> opened = Open(dialog);
  if (!tab.isEmpty()) ClickTab(opened.get(), tab);
  QCOMPARE(ControlName(Focused()), cycle.first());
  QCOMPARE(TabCycle().join(" | "), cycle.join(" | "));
  opened->reject();
}

void TestKeyboardFocus::saveDataTakesATypedFileNameAndEnter() {
  std::unique_ptr<QDialog> opened = Open(Dialog::kSaveData);
  QTest::keyClicks(Focused(), "orders.txt");
  QTest::keyClick(Focused(), Qt::Key_Return);
  QCOMPARE(opened->result(), int(QDialog::Accepted));
  auto* editor = static_cast<ActionDialog*>(opened.get());
  QCOMPARE(editor->action().Property("outfile"), std::string("orders.txt"));
}

void TestKeyboardFocus::settingsNumberFieldsAreReadWithTheirOwnLabels_data() {
  QTest::addColumn<QString>("label");
  QTest::addColumn<QString>("unit");
  QTest::newRow("check interval") << "Check Incoming Mail Every:"
                                  << "minutes";
  QTest::newRow("size limit") << "Ignore Message Larger Than:"
                              << "kilobytes (0 for no limit)";
}

void TestKeyboardFocus::settingsNumberFieldsAreReadWithTheirOwnLabels() {
  QFETCH(QString, label);
  QFETCH(QString, unit);
  MainSettingsPage page{Settings{}};
  QLineEdit* field = FieldLabelled<QLineEdit>(&page, label);
  QVERIFY(field);
  QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(field);
  QVERIFY(accessible);
  QCOMPARE(accessible->text(QAccessible::Name), label);
  QCOMPARE(accessible->text(QAccessible::Description), unit);
}

void TestKeyboardFocus::sheetFieldsAreFocusedByTheirMnemonicAndNamedByTheirLabel_data() {
  QTest::addColumn<QString>("tab");
  QTest::addColumn<QString>("label");  // a label's text, or a check box's
  QTest::addColumn<QString>("name");   // what a screen reader reads
  QTest::newRow("SMTP Security") << "Settings"
                                 << "SMTP &Security:"
                                 << "SMTP Security:";
  QTest::newRow("SMTP User Name") << "Settings"
                                  << "SMTP &User Name:"
                                  << "SMTP User Name:";
  QTest::newRow("SMTP Password") << "Settings"
                                 << "SMTP &Password:"
                                 << "SMTP Password:";
  QTest::newRow("Reply to automatic messages") << "Settings"
                                               << "&Reply to automatic messages"
                                               << "Reply to automatic messages";
  QTest::newRow("Decode international text") << "Settings"
                                             << "&Decode international text"
                                             << "Decode international text";
  QTest::newRow("Security") << "Mailboxes"
                            << "&Security:"
                            << "Security:";
}

void TestKeyboardFocus::sheetFieldsAreFocusedByTheirMnemonicAndNamedByTheirLabel() {
  QFETCH(QString, tab);
  QFETCH(QString, label);
  QFETCH(QString, name);
  std::unique_ptr<QDialog> opened = Open(Dialog::kSetupSheet);
  ClickTab(opened.get(), tab);
  QWidget* page = opened->findChild<QTabWidget*>()->currentWidget();
  QWidget* control = nullptr;
  for (QLabel* candidate : page->findChildren<QLabel*>()) {
    if (candidate->text() == label) control = candidate->buddy();
  }
  if (!control) control = ButtonNamed(page, label);  // a check box is its own label
  QVERIFY(control);
  if (auto* box = qobject_cast<QComboBox*>(control)) {
    // A drop-down reads as its current item here; its name is its own.
    QCOMPARE(box->accessibleName(), name);
  } else {
    QCOMPARE(ReadName(control), name);
  }
  QVERIFY(Focused() != control);
  QTest::keyClick(Focused(), QKeySequence::mnemonic(label)[0].key(), Qt::AltModifier);
  QCOMPARE(ControlName(Focused()), name);
  QVERIFY(Focused() == control);
  opened->reject();
}

void TestKeyboardFocus::sheetPagesHaveNoMnemonicTwice_data() {
  QTest::addColumn<QString>("tab");
  QTest::newRow("Mail Agents") << "Mail Agents";
  QTest::newRow("Settings") << "Settings";
  QTest::newRow("Mailboxes") << "Mailboxes";
}

void TestKeyboardFocus::sheetPagesHaveNoMnemonicTwice() {
  QFETCH(QString, tab);
  std::unique_ptr<QDialog> opened = Open(Dialog::kSetupSheet);
  ClickTab(opened.get(), tab);
  // Every text shown with the page, OK and Cancel included; the other pages
  // are hidden, and so are their mnemonics.
  QStringList texts;
  for (QLabel* label : opened->findChildren<QLabel*>()) {
    if (label->isVisible()) texts.append(label->text());
  }
  for (QAbstractButton* button : opened->findChildren<QAbstractButton*>()) {
    if (button->isVisible()) texts.append(button->text());
  }
  QMap<int, QString> owners;  // key with modifiers: the text that has it
  for (const QString& text : texts) {
    const QKeySequence mnemonic = QKeySequence::mnemonic(text);
    if (mnemonic.isEmpty()) continue;
    const int key = mnemonic[0].toCombined();
    QVERIFY2(!owners.contains(key), qPrintable(owners.value(key) + " and " + text));
    owners.insert(key, text);
  }
  opened->reject();
}

}  // namespace quor

QTEST_MAIN(quor::TestKeyboardFocus)
#include "tst_keyboard_focus.moc"
