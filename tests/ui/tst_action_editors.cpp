// The five action editors: how each shows an action's properties and what it
// writes back on OK, driven through their controls.

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <memory>
#include <vector>

#include "agent_editor_test_helpers.h"
#include "ui/action_dialog.h"
#include "ui/agent_actions_page.h"
#include "ui/execute_program_dialog.h"
#include "ui/forward_message_dialog.h"
#include "ui/save_attachments_dialog.h"
#include "ui/save_data_dialog.h"
#include "ui/send_message_dialog.h"

namespace quor {

namespace {

using Properties = QList<QPair<QString, QString>>;

// An action of the type with the given properties, in the given order.
AgentAction ActionWith(ActionType type, const Properties& properties) {
  AgentAction action(ActionTypeName(type), type);
  for (const auto& [name, value] : properties)
    action.SetProperty(name.toStdString(), value.toStdString());
  return action;
}

QString Property(const AgentAction& action, const char* name) {
  return QString::fromStdString(action.Property(name));
}

bool HasProperty(const AgentAction& action, const std::string& name) {
  for (const auto& [existing, value] : action.properties()) {
    if (existing == name) return true;
  }
  return false;
}

void PressOk(QDialog& dialog) {
  QTest::mouseClick(dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok),
                    Qt::LeftButton);
}

void PressCancel(QDialog& dialog) {
  QTest::mouseClick(dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel),
                    Qt::LeftButton);
}

void TypeInto(QLineEdit* field, const QString& text) {
  field->clear();
  QTest::keyClicks(field, text);
}

// A check box or radio button reacts to clicks on its box and text only, and
// a laid-out row may be wider than that.
void ClickBox(QAbstractButton* button) {
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

QRadioButton* Radio(QWidget* dialog, const QString& text) {
  return ButtonNamed<QRadioButton>(dialog, text);
}

const char kEntire[] = "Save the entire message";
const char kTemplate[] = "Save using template file:";
const char kFormat[] = "Save using the format below (add text, data fields, etc.):";

}  // namespace

class TestActionEditors : public QObject {
  Q_OBJECT

 private slots:
  void cleanup();

  void editorPerType_data();
  void editorPerType();
  void newActionOpensEmpty();
  void unchangedOkRewritesEveryProperty_data();
  void unchangedOkRewritesEveryProperty();
  void cancelWritesNothing();

  void sendMessageWritesItsProperties();
  void sendMessageSuggestionsAndTypedText();
  void attachmentList_data();
  void attachmentList();
  void attachmentButtonsWithoutInputDoNothing();
  void listedEntriesStayBounded_data();
  void listedEntriesStayBounded();

  void forwardWritesMailTo();
  void executeProgramWritesItsProperties();
  void choosersFillTheirFieldOrChangeNothing();

  void saveMethod_data();
  void saveMethod();
  void formatLines_data();
  void formatLines();
  void formatBoxShowsStoredLinesAndKeepsOldEntries();
  void availableData_data();
  void availableData();
  void insertPutsTheChosenItemAtTheCaret();

  void saveAttachmentsWritesItsProperties();
};

void TestActionEditors::cleanup() { QVERIFY(NoWindowOpen()); }

void TestActionEditors::editorPerType_data() {
  QTest::addColumn<int>("type");
  QTest::addColumn<QString>("title");
  QTest::newRow("send") << 2 << "Send Message";
  QTest::newRow("forward") << 6 << "Forward Incoming Message";
  QTest::newRow("run program") << 5 << "Execute a Program";
  QTest::newRow("save data") << 4 << "Save Message Data to a File";
  QTest::newRow("save attachments") << 8 << "Save Message Attachments";
  QTest::newRow("delete has none") << 1 << "";
  QTest::newRow("sound has none") << 3 << "";
  QTest::newRow("7 has none") << 7 << "";
  QTest::newRow("0 has none") << 0 << "";
  QTest::newRow("negative has none") << -2 << "";
}

void TestActionEditors::editorPerType() {
  QFETCH(int, type);
  QFETCH(QString, title);
  std::unique_ptr<ActionDialog> editor =
      NewActionEditor(AgentAction("x", ActionType{type}), {}, nullptr);
  if (title.isEmpty()) {
    QVERIFY(!editor);
    return;
  }
  QVERIFY(editor);
  QCOMPARE(editor->windowTitle(), title);
  auto* buttons = editor->findChild<QDialogButtonBox*>();
  QCOMPARE(buttons->standardButtons(), QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
}

void TestActionEditors::newActionOpensEmpty() {
  for (ActionType type : {ActionType::kSend, ActionType::kForward, ActionType::kRunProgram,
                          ActionType::kSaveData, ActionType::kSaveAttachments}) {
    std::unique_ptr<ActionDialog> editor = NewActionEditor(ActionWith(type, {}), {}, nullptr);
    const QString title = editor->windowTitle();
    for (QLineEdit* field : editor->findChildren<QLineEdit*>()) {
      QVERIFY2(field->text().isEmpty(), qPrintable(title));
    }
    for (QCheckBox* box : editor->findChildren<QCheckBox*>()) {
      QVERIFY2(!box->isChecked(), qPrintable(title + " " + box->text()));
    }
    for (QListWidget* list : editor->findChildren<QListWidget*>()) {
      QCOMPARE(list->count(), 0);
    }
    for (QPlainTextEdit* box : editor->findChildren<QPlainTextEdit*>()) {
      QVERIFY(box->toPlainText().isEmpty());
    }
    if (type == ActionType::kSaveData) {
      QVERIFY(Radio(editor.get(), kEntire)->isChecked());
      QVERIFY(!Radio(editor.get(), kTemplate)->isChecked());
      QVERIFY(!Radio(editor.get(), kFormat)->isChecked());
    }
  }
}

void TestActionEditors::unchangedOkRewritesEveryProperty_data() {
  QTest::addColumn<int>("type");
  QTest::addColumn<Properties>("before");
  QTest::addColumn<Properties>("after");

  QTest::newRow("send") << 2 << Properties{{"mailto", "{Sender}"}, {"cclist", "c@x"},
                                           {"subject", "Re"},      {"message", "/t/reply.txt"},
                                           {"attachCount", "2"},   {"attach0", "/a"},
                                           {"attach1", "/b"},      {"extra", "kept"}}
                        << Properties{{"mailto", "{Sender}"}, {"cclist", "c@x"},
                                      {"subject", "Re"},      {"message", "/t/reply.txt"},
                                      {"attachCount", "2"},   {"attach0", "/a"},
                                      {"attach1", "/b"},      {"extra", "kept"}};
  QTest::newRow("send with nothing stored") << 2 << Properties{}
                                            << Properties{{"mailto", ""},
                                                          {"cclist", ""},
                                                          {"subject", ""},
                                                          {"message", ""},
                                                          {"attachCount", "0"}};
  QTest::newRow("send with a missing entry inside the count")
      << 2 << Properties{{"attachCount", "2"}, {"attach0", "/a"}}
      << Properties{{"attachCount", "2"}, {"attach0", "/a"}, {"mailto", ""}, {"cclist", ""},
                    {"subject", ""},      {"message", ""},   {"attach1", ""}};
  QTest::newRow("forward") << 6 << Properties{{"mailto", "a@x, b@x"}}
                           << Properties{{"mailto", "a@x, b@x"}};
  QTest::newRow("run program, wait written as 1")
      << 5 << Properties{{"program", "/bin/tool"}, {"arguments", "{Subject}"}, {"wait", " 7"}}
      << Properties{{"program", "/bin/tool"}, {"arguments", "{Subject}"}, {"wait", "1"}};
  QTest::newRow("run program, wait without digits is off")
      << 5 << Properties{{"wait", "yes"}}
      << Properties{{"wait", "0"}, {"program", ""}, {"arguments", ""}};
  QTest::newRow("save data") << 4 << Properties{{"outfile", "/o.txt"}, {"append", "1"},
                                                {"savemethod", "2"},   {"templatefile", "/t.txt"},
                                                {"linecount", "2"},    {"line0", "a {Subject}"},
                                                {"line1", "b"}}
                             << Properties{{"outfile", "/o.txt"}, {"append", "1"},
                                           {"savemethod", "2"},   {"templatefile", "/t.txt"},
                                           {"linecount", "2"},    {"line0", "a {Subject}"},
                                           {"line1", "b"}};
  QTest::newRow("save data with nothing stored")
      << 4 << Properties{}
      << Properties{{"outfile", ""},      {"append", "0"},    {"savemethod", "0"},
                    {"templatefile", ""}, {"linecount", "1"}, {"line0", ""}};
  QTest::newRow("save attachments")
      << 8
      << Properties{{"directory", "/in"},
                    {"basefile", "part"},
                    {"usenumbering", "1"},
                    {"usename", "0"}}
      << Properties{
             {"directory", "/in"}, {"basefile", "part"}, {"usenumbering", "1"}, {"usename", "0"}};
  QTest::newRow("save attachments, flag text yes is off")
      << 8 << Properties{{"usenumbering", "yes"}, {"usename", "-1"}}
      << Properties{{"usenumbering", "0"}, {"usename", "1"}, {"directory", ""}, {"basefile", ""}};
}

void TestActionEditors::unchangedOkRewritesEveryProperty() {
  QFETCH(int, type);
  QFETCH(Properties, before);
  QFETCH(Properties, after);
  const AgentAction action = ActionWith(static_cast<ActionType>(type), before);
  std::unique_ptr<ActionDialog> editor = NewActionEditor(action, {}, nullptr);
  editor->show();
  PressOk(*editor);
  QCOMPARE(editor->result(), int(QDialog::Accepted));
  const AgentAction& edited = editor->action();
  QCOMPARE(edited.name, action.name);
  QCOMPARE(edited.type, action.type);
  QCOMPARE(edited.properties().size(), size_t(after.size()));
  for (const auto& [name, value] : after) {
    QVERIFY2(HasProperty(edited, name.toStdString()), qPrintable(name));
    QCOMPARE(Property(edited, name.toLatin1().constData()), value);
  }
}

void TestActionEditors::cancelWritesNothing() {
  const AgentAction action = ActionWith(ActionType::kSend, {{"mailto", "a@x"}});
  SendMessageDialog editor(action);
  editor.show();
  TypeInto(FieldLabelled<QComboBox>(&editor, "Mail To:")->lineEdit(), "b@x");
  PressCancel(editor);
  QCOMPARE(editor.result(), int(QDialog::Rejected));
  QVERIFY(editor.action() == action);
}

void TestActionEditors::sendMessageWritesItsProperties() {
  SendMessageDialog editor(ActionWith(ActionType::kSend, {}));
  editor.show();
  TypeInto(FieldLabelled<QComboBox>(&editor, "Mail To:")->lineEdit(), "{Reply-To}, x@y");
  TypeInto(FieldLabelled<QComboBox>(&editor, "CC:")->lineEdit(), "cc@y");
  TypeInto(FieldLabelled<QComboBox>(&editor, "Subject:")->lineEdit(), "Re: {Subject}");
  TypeInto(FieldLabelled<QLineEdit>(&editor, "Message Template:"), "/t/body.txt");
  auto* file = FieldLabelled<QLineEdit>(&editor, "File to Attach:");
  TypeInto(file, "/f/one.pdf");
  ButtonNamed(&editor, "&Add attachment")->click();
  TypeInto(file, "/f/two.pdf");
  ButtonNamed(&editor, "&Add attachment")->click();
  QCOMPARE(file->text(), QStringLiteral("/f/two.pdf"));
  PressOk(editor);
  const AgentAction& action = editor.action();
  QCOMPARE(Property(action, "mailto"), QStringLiteral("{Reply-To}, x@y"));
  QCOMPARE(Property(action, "cclist"), QStringLiteral("cc@y"));
  QCOMPARE(Property(action, "subject"), QStringLiteral("Re: {Subject}"));
  QCOMPARE(Property(action, "message"), QStringLiteral("/t/body.txt"));
  QCOMPARE(Property(action, "attachCount"), QStringLiteral("2"));
  QCOMPARE(Property(action, "attach0"), QStringLiteral("/f/one.pdf"));
  QCOMPARE(Property(action, "attach1"), QStringLiteral("/f/two.pdf"));
  // The "File to Attach:" field itself is never stored.
  QCOMPARE(action.properties().size(), size_t(7));
}

void TestActionEditors::sendMessageSuggestionsAndTypedText() {
  SendMessageDialog editor(ActionWith(ActionType::kSend, {{"subject", "Fwd"}}));
  editor.show();
  auto* to = FieldLabelled<QComboBox>(&editor, "Mail To:");
  auto* cc = FieldLabelled<QComboBox>(&editor, "CC:");
  auto* subject = FieldLabelled<QComboBox>(&editor, "Subject:");
  QVERIFY(to->isEditable() && cc->isEditable() && subject->isEditable());
  QCOMPARE(ItemTexts(to), QStringList({"{Recipient}", "{Reply-To}", "{Sender}"}));
  QCOMPARE(ItemTexts(cc), QStringList({"{Recipient}", "{Reply-To}", "{Sender}"}));
  QCOMPARE(ItemTexts(subject), QStringList({"{Recipient}", "{Reply-To}", "{Subject}"}));
  QCOMPARE(to->currentText(), QString());
  QCOMPARE(subject->currentText(), QStringLiteral("Fwd"));
  // A typed beginning of a suggestion stays as typed, and Enter adds no item.
  TypeInto(to->lineEdit(), "{Re");
  QCOMPARE(to->currentText(), QStringLiteral("{Re"));
  QCOMPARE(to->count(), 3);
  // Picking a suggestion puts it in the field.
  cc->setCurrentIndex(2);
  PressOk(editor);
  QCOMPARE(Property(editor.action(), "mailto"), QStringLiteral("{Re"));
  QCOMPARE(Property(editor.action(), "cclist"), QStringLiteral("{Sender}"));
}

void TestActionEditors::attachmentList_data() {
  QTest::addColumn<Properties>("before");
  QTest::addColumn<QStringList>("shown");
  QTest::addColumn<int>("removeRow");
  QTest::addColumn<Properties>("after");
  QTest::addColumn<QStringList>("absent");

  const Properties three{
      {"attachCount", "3"}, {"attach0", "/a"}, {"attach1", "/b"}, {"attach2", "/c"}};
  QTest::newRow("three down to two keeps the third entry")
      << three << QStringList({"/a", "/b", "/c"}) << 0
      << Properties{{"attachCount", "2"}, {"attach0", "/b"}, {"attach1", "/c"}, {"attach2", "/c"}}
      << QStringList();
  QTest::newRow("entries listed in index order, not stored order")
      << Properties{{"attach1", "/second"}, {"attach0", "/first"}, {"attachCount", "2"}}
      << QStringList({"/first", "/second"}) << 1
      << Properties{{"attachCount", "1"}, {"attach0", "/first"}, {"attach1", "/second"}}
      << QStringList();
  QTest::newRow("entries beyond the count are not shown")
      << Properties{{"attachCount", "1"}, {"attach0", "/a"}, {"attach1", "/old"}}
      << QStringList({"/a"}) << -1
      << Properties{{"attachCount", "1"}, {"attach0", "/a"}, {"attach1", "/old"}} << QStringList();
  QTest::newRow("a negative count lists nothing")
      << Properties{{"attachCount", "-4"}, {"attach0", "/a"}} << QStringList() << -1
      << Properties{{"attachCount", "0"}, {"attach0", "/a"}} << QStringList();
  QTest::newRow("removing the only entry writes count 0")
      << Properties{{"attachCount", "1"}, {"attach0", "/a"}} << QStringList({"/a"}) << 0
      << Properties{{"attachCount", "0"}, {"attach0", "/a"}} << QStringList({"attach1"});
}

void TestActionEditors::attachmentList() {
  QFETCH(Properties, before);
  QFETCH(QStringList, shown);
  QFETCH(int, removeRow);
  QFETCH(Properties, after);
  QFETCH(QStringList, absent);
  SendMessageDialog editor(ActionWith(ActionType::kSend, before));
  editor.show();
  QVERIFY(QTest::qWaitForWindowExposed(&editor));
  auto* list = ControlNamed<QListWidget>(&editor, "Attachments");
  QCOMPARE(RowTexts(list), shown);
  if (removeRow >= 0) {
    ClickRow(list, removeRow);
    ButtonNamed(&editor, "&Remove attachment")->click();
  }
  PressOk(editor);
  for (const auto& [name, value] : after) {
    QCOMPARE(Property(editor.action(), name.toLatin1().constData()), value);
  }
  for (const QString& name : absent) QVERIFY(!HasProperty(editor.action(), name.toStdString()));
}

void TestActionEditors::attachmentButtonsWithoutInputDoNothing() {
  SendMessageDialog editor(
      ActionWith(ActionType::kSend, {{"attachCount", "1"}, {"attach0", "/a"}}));
  editor.show();
  auto* list = ControlNamed<QListWidget>(&editor, "Attachments");
  ButtonNamed(&editor, "&Add attachment")->click();
  QCOMPARE(RowTexts(list), QStringList({"/a"}));
  ButtonNamed(&editor, "&Remove attachment")->click();
  QCOMPARE(RowTexts(list), QStringList({"/a"}));
  // Duplicates are allowed.
  TypeInto(FieldLabelled<QLineEdit>(&editor, "File to Attach:"), "/a");
  ButtonNamed(&editor, "&Add attachment")->click();
  QCOMPARE(RowTexts(list), QStringList({"/a", "/a"}));
  PressCancel(editor);
}

void TestActionEditors::listedEntriesStayBounded_data() {
  QTest::addColumn<Properties>("properties");
  QTest::addColumn<int>("listed");
  QTest::newRow("count within the properties")
      << Properties{{"attachCount", "2"}, {"attach0", "/a"}} << 2;
  QTest::newRow("huge count, few entries")
      << Properties{{"attachCount", "2000000000"}, {"attach0", "/a"}, {"attach4", "/e"}} << 5;
  QTest::newRow("huge count, no entries") << Properties{{"attachCount", "99999999999"}} << 1;
  QTest::newRow("entry with leading zero does not count")
      << Properties{{"attachCount", "500"}, {"attach007", "/x"}} << 2;
  QTest::newRow("other prefixes do not count")
      << Properties{{"attachCount", "500"}, {"attachment9", "/x"}, {"line40", "/y"}} << 3;
  QTest::newRow("zero") << Properties{{"attachCount", "0"}, {"attach0", "/a"}} << 0;
  QTest::newRow("absent") << Properties{{"attach0", "/a"}} << 0;
}

void TestActionEditors::listedEntriesStayBounded() {
  QFETCH(Properties, properties);
  QFETCH(int, listed);
  const AgentAction action = ActionWith(ActionType::kSend, properties);
  QCOMPARE(ListedEntryCount(action, "attachCount", "attach"), listed);
  SendMessageDialog editor(action);
  QCOMPARE(ControlNamed<QListWidget>(&editor, "Attachments")->count(), listed);
}

void TestActionEditors::forwardWritesMailTo() {
  ForwardMessageDialog editor(ActionWith(ActionType::kForward, {{"mailto", "old@x"}}));
  editor.show();
  auto* to = FieldLabelled<QComboBox>(&editor, "Forward to:");
  QVERIFY(to->isEditable());
  QCOMPARE(ItemTexts(to), QStringList({"{Recipient}", "{Reply-To}", "{Sender}"}));
  QCOMPARE(to->currentText(), QStringLiteral("old@x"));
  to->setCurrentIndex(1);
  PressOk(editor);
  QCOMPARE(Property(editor.action(), "mailto"), QStringLiteral("{Reply-To}"));
  QCOMPARE(editor.action().properties().size(), size_t(1));
}

void TestActionEditors::executeProgramWritesItsProperties() {
  ExecuteProgramDialog editor(ActionWith(ActionType::kRunProgram, {{"wait", "1"}}));
  editor.show();
  auto* wait = ButtonNamed<QCheckBox>(&editor, "Wait until program completes");
  QVERIFY(wait->isChecked());
  TypeInto(FieldLabelled<QLineEdit>(&editor, "Program Path:"), "/usr/bin/logger");
  TypeInto(FieldLabelled<QLineEdit>(&editor, "Arguments:"), "-t quor \"{Subject}\"");
  ClickBox(wait);
  PressOk(editor);
  QCOMPARE(Property(editor.action(), "program"), QStringLiteral("/usr/bin/logger"));
  QCOMPARE(Property(editor.action(), "arguments"), QStringLiteral("-t quor \"{Subject}\""));
  QCOMPARE(Property(editor.action(), "wait"), QStringLiteral("0"));
}

void TestActionEditors::choosersFillTheirFieldOrChangeNothing() {
  // Each chooser: the field it fills, and how to plant a chooser in its dialog.
  struct Case {
    std::unique_ptr<ActionDialog> dialog;
    QLineEdit* field;
    std::function<void(FileChooser)> plant;
  };
  std::vector<Case> cases;
  {
    auto send = std::make_unique<SendMessageDialog>(ActionWith(ActionType::kSend, {}));
    auto* raw = send.get();
    QLineEdit* field = FieldLabelled<QLineEdit>(raw, "Message Template:");
    cases.push_back({std::move(send), field, [raw](FileChooser c) { raw->SetTemplateChooser(c); }});
  }
  {
    auto send = std::make_unique<SendMessageDialog>(ActionWith(ActionType::kSend, {}));
    auto* raw = send.get();
    QLineEdit* field = FieldLabelled<QLineEdit>(raw, "File to Attach:");
    cases.push_back(
        {std::move(send), field, [raw](FileChooser c) { raw->SetAttachmentChooser(c); }});
  }
  {
    auto run = std::make_unique<ExecuteProgramDialog>(ActionWith(ActionType::kRunProgram, {}));
    auto* raw = run.get();
    QLineEdit* field = FieldLabelled<QLineEdit>(raw, "Program Path:");
    cases.push_back({std::move(run), field, [raw](FileChooser c) { raw->SetProgramChooser(c); }});
  }
  {
    auto save = std::make_unique<SaveDataDialog>(ActionWith(ActionType::kSaveData, {}),
                                                 std::vector<AgentExtraction>{});
    auto* raw = save.get();
    QLineEdit* field = FieldLabelled<QLineEdit>(raw, "Output filename:");
    cases.push_back({std::move(save), field, [raw](FileChooser c) { raw->SetOutputChooser(c); }});
  }
  {
    auto save = std::make_unique<SaveDataDialog>(ActionWith(ActionType::kSaveData, {}),
                                                 std::vector<AgentExtraction>{});
    auto* raw = save.get();
    QLineEdit* field = ControlNamed<QLineEdit>(raw, "Template file");
    cases.push_back({std::move(save), field, [raw](FileChooser c) { raw->SetTemplateChooser(c); }});
  }
  {
    auto save =
        std::make_unique<SaveAttachmentsDialog>(ActionWith(ActionType::kSaveAttachments, {}));
    auto* raw = save.get();
    QLineEdit* field = FieldLabelled<QLineEdit>(raw, "Output directory:");
    cases.push_back(
        {std::move(save), field, [raw](FileChooser c) { raw->SetDirectoryChooser(c); }});
  }

  for (Case& test : cases) {
    const QString title = test.dialog->windowTitle();
    test.dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(test.dialog.get()));
    // The "..." button on the field's line.
    QPushButton* browse = nullptr;
    for (QPushButton* button : test.dialog->findChildren<QPushButton*>()) {
      if (button->text() == "..." &&
          qAbs(button->mapToGlobal(button->rect().center()).y() -
               test.field->mapToGlobal(test.field->rect().center()).y()) < 4) {
        browse = button;
      }
    }
    QVERIFY2(browse, qPrintable(title));
    TypeInto(test.field, "typed");
    QString seen_before_choosing;
    test.plant([&] {
      seen_before_choosing = test.field->text();
      return QString();
    });
    browse->click();
    QCOMPARE(seen_before_choosing, QStringLiteral("typed"));
    QCOMPARE(test.field->text(), QStringLiteral("typed"));
    test.plant([] { return QStringLiteral("/chosen/place"); });
    browse->click();
    QVERIFY2(test.field->text() == "/chosen/place", qPrintable(title));
    PressCancel(*test.dialog);
  }
}

void TestActionEditors::saveMethod_data() {
  QTest::addColumn<QString>("stored");
  QTest::addColumn<QString>("ticked");
  QTest::addColumn<QString>("click");
  QTest::addColumn<QString>("written");
  QTest::newRow("0 entire message") << "0" << kEntire << ""
                                    << "0";
  QTest::newRow("1 template") << "1" << kTemplate << ""
                              << "1";
  QTest::newRow("2 format") << "2" << kFormat << ""
                            << "2";
  QTest::newRow("absent is entire message") << "" << kEntire << ""
                                            << "0";
  QTest::newRow("7 ticks none and writes -1") << "7"
                                              << ""
                                              << ""
                                              << "-1";
  QTest::newRow("-1 ticks none and writes -1") << "-1"
                                               << ""
                                               << ""
                                               << "-1";
  QTest::newRow("7 then a choice") << "7"
                                   << "" << kFormat << "2";
  QTest::newRow("change to template") << "0" << kEntire << kTemplate << "1";
}

void TestActionEditors::saveMethod() {
  QFETCH(QString, stored);
  QFETCH(QString, ticked);
  QFETCH(QString, click);
  QFETCH(QString, written);
  Properties properties;
  if (!stored.isEmpty()) properties.append({"savemethod", stored});
  SaveDataDialog editor(ActionWith(ActionType::kSaveData, properties), {});
  editor.show();
  for (const char* text : {kEntire, kTemplate, kFormat}) {
    QCOMPARE(Radio(&editor, text)->isChecked(), ticked == text);
    // No choice disables anything.
    QVERIFY(Radio(&editor, text)->isEnabled());
  }
  QVERIFY(ControlNamed<QLineEdit>(&editor, "Template file")->isEnabled());
  QVERIFY(ControlNamed<QPlainTextEdit>(&editor, "Format")->isEnabled());
  if (!click.isEmpty()) ClickBox(Radio(&editor, click));
  PressOk(editor);
  QCOMPARE(Property(editor.action(), "savemethod"), written);
  QCOMPARE(editor.findChild<QGroupBox*>()->title(), QStringLiteral("Contents"));
}

void TestActionEditors::formatLines_data() {
  QTest::addColumn<QString>("typed");
  QTest::addColumn<QStringList>("lines");
  const QString long_line(1100, QLatin1Char('x'));
  QTest::newRow("empty box is one empty line") << "" << QStringList({""});
  QTest::newRow("text without line break") << "a {Subject}" << QStringList({"a {Subject}"});
  QTest::newRow("two lines") << "a\nb" << QStringList({"a", "b"});
  QTest::newRow("empty line inside") << "a\n\nb" << QStringList({"a", "", "b"});
  QTest::newRow("break after the last line") << "a\n" << QStringList({"a", ""});
  QTest::newRow("long line cut to 1023")
      << long_line + "\nshort" << QStringList({long_line.left(1023), "short"});
  QTest::newRow("1023 kept whole")
      << QString(1023, QLatin1Char('y')) << QStringList({QString(1023, QLatin1Char('y'))});
}

void TestActionEditors::formatLines() {
  QFETCH(QString, typed);
  QFETCH(QStringList, lines);
  QCOMPARE(FormatLines(typed), lines);

  // The same through the dialog, typed into the box as a person would.
  SaveDataDialog editor(ActionWith(ActionType::kSaveData, {}), {});
  editor.show();
  auto* format = ControlNamed<QPlainTextEdit>(&editor, "Format");
  format->setFocus();
  const QStringList pieces = typed.split('\n');
  for (qsizetype index = 0; index < pieces.size(); ++index) {
    if (index > 0) QTest::keyClick(format, Qt::Key_Return);
    QTest::keyClicks(format, pieces[index]);
  }
  QCOMPARE(format->toPlainText(), typed);
  PressOk(editor);
  QCOMPARE(Property(editor.action(), "linecount"), QString::number(lines.size()));
  for (int index = 0; index < lines.size(); ++index) {
    QCOMPARE(Property(editor.action(), ("line" + std::to_string(index)).c_str()), lines[index]);
  }
}

void TestActionEditors::formatBoxShowsStoredLinesAndKeepsOldEntries() {
  SaveDataDialog editor(ActionWith(ActionType::kSaveData, {{"linecount", "3"},
                                                           {"line0", "From: {Sender}"},
                                                           {"line1", ""},
                                                           {"line2", "end"},
                                                           {"line3", "unused"}}),
                        {});
  editor.show();
  auto* format = ControlNamed<QPlainTextEdit>(&editor, "Format");
  QCOMPARE(format->toPlainText(), QStringLiteral("From: {Sender}\n\nend"));
  QCOMPARE(format->lineWrapMode(), QPlainTextEdit::NoWrap);
  format->selectAll();
  format->setFocus();
  QTest::keyClicks(format, "one");
  QTest::keyClick(format, Qt::Key_Return);
  QTest::keyClicks(format, "two");
  PressOk(editor);
  const AgentAction& action = editor.action();
  QCOMPARE(Property(action, "linecount"), QStringLiteral("2"));
  QCOMPARE(Property(action, "line0"), QStringLiteral("one"));
  QCOMPARE(Property(action, "line1"), QStringLiteral("two"));
  // Entries beyond the new count stay where they were.
  QCOMPARE(Property(action, "line2"), QStringLiteral("end"));
  QCOMPARE(Property(action, "line3"), QStringLiteral("unused"));
}

void TestActionEditors::availableData_data() {
  QTest::addColumn<QStringList>("variables");
  QTest::addColumn<QStringList>("items");
  const QStringList fields{"{Date}",     "{Message-Body}", "{Recipient}",
                           "{Reply-To}", "{Sender}",       "{Subject}"};
  QTest::newRow("no rules") << QStringList() << fields;
  QTest::newRow("rules without a variable give none") << QStringList({"", ""}) << fields;
  QTest::newRow("variables sorted in, letter case ignored")
      << QStringList({"total", "Amount", "zip"})
      << QStringList({"{Amount}", "{Date}", "{Message-Body}", "{Recipient}", "{Reply-To}",
                      "{Sender}", "{Subject}", "{total}", "{zip}"});
  QTest::newRow("a name used twice comes twice")
      << QStringList({"id", "", "id"})
      << QStringList({"{Date}", "{id}", "{id}", "{Message-Body}", "{Recipient}", "{Reply-To}",
                      "{Sender}", "{Subject}"});
}

void TestActionEditors::availableData() {
  QFETCH(QStringList, variables);
  QFETCH(QStringList, items);
  std::vector<AgentExtraction> rules;
  for (const QString& name : variables) {
    AgentExtraction rule;
    rule.start_text = "x";
    rule.variable_name = name.toStdString();
    rules.push_back(rule);
  }
  QCOMPARE(AvailableDataItems(rules), items);
  SaveDataDialog editor(ActionWith(ActionType::kSaveData, {}), rules);
  auto* available = FieldLabelled<QComboBox>(&editor, "Available Data:");
  QVERIFY(!available->isEditable());
  QCOMPARE(ItemTexts(available), items);
  QCOMPARE(available->currentIndex(), 0);
}

void TestActionEditors::insertPutsTheChosenItemAtTheCaret() {
  SaveDataDialog editor(
      ActionWith(ActionType::kSaveData, {{"linecount", "1"}, {"line0", "Hello NAME!"}}), {});
  editor.show();
  QVERIFY(QTest::qWaitForWindowExposed(&editor));
  auto* format = ControlNamed<QPlainTextEdit>(&editor, "Format");
  QTextCursor cursor = format->textCursor();
  cursor.setPosition(6);
  cursor.setPosition(10, QTextCursor::KeepAnchor);
  format->setTextCursor(cursor);
  auto* available = FieldLabelled<QComboBox>(&editor, "Available Data:");
  available->setCurrentIndex(available->findText("{Sender}"));
  QTest::mouseClick(ButtonNamed(&editor, "&Insert"), Qt::LeftButton);
  QCOMPARE(format->toPlainText(), QStringLiteral("Hello {Sender}!"));
  QTRY_VERIFY(format->hasFocus());
  // Without a selection the item goes in at the caret.
  QTest::mouseClick(ButtonNamed(&editor, "&Insert"), Qt::LeftButton);
  QCOMPARE(format->toPlainText(), QStringLiteral("Hello {Sender}{Sender}!"));
  PressCancel(editor);
}

void TestActionEditors::saveAttachmentsWritesItsProperties() {
  SaveAttachmentsDialog editor(ActionWith(ActionType::kSaveAttachments, {{"usename", "1"}}));
  editor.show();
  QCOMPARE(editor.findChild<QGroupBox*>()->title(), QStringLiteral("Filename"));
  auto* use_name =
      ButtonNamed<QCheckBox>(&editor, "Use original filename if available (ignores base filename)");
  auto* numbering = ButtonNamed<QCheckBox>(
      &editor, "Append a unique number to the filename (file1, file2, etc.)");
  QVERIFY(use_name->isChecked());
  QVERIFY(!numbering->isChecked());
  TypeInto(FieldLabelled<QLineEdit>(&editor, "Output directory:"), "/var/in");
  TypeInto(FieldLabelled<QLineEdit>(&editor, "Base filename:"), "part.bin");
  ClickBox(use_name);
  ClickBox(numbering);
  PressOk(editor);
  const AgentAction& action = editor.action();
  QCOMPARE(Property(action, "directory"), QStringLiteral("/var/in"));
  QCOMPARE(Property(action, "basefile"), QStringLiteral("part.bin"));
  QCOMPARE(Property(action, "usename"), QStringLiteral("0"));
  QCOMPARE(Property(action, "usenumbering"), QStringLiteral("1"));
}

}  // namespace quor

QTEST_MAIN(quor::TestActionEditors)
#include "tst_action_editors.moc"
