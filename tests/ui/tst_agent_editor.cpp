// The agent editor sheet and its three pages, driven through their controls.

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "agent_editor_test_helpers.h"
#include "ui/action_dialog.h"
#include "ui/agent_actions_page.h"
#include "ui/agent_editor.h"
#include "ui/agent_extract_page.h"
#include "ui/agent_gen_page.h"

namespace quor {

namespace {

// "Subject|contains|a|1": field, operator, value, join.
AgentCondition Condition(const QString& text) {
  const QStringList parts = text.split('|');
  return AgentCondition{parts[0].toStdString(), parts[1].toStdString(), parts[2].toStdString(),
                        ConditionJoin{parts[3].toInt()}};
}

// "begin|end|variable"; the codes are computed as the page computes them.
AgentExtraction Rule(const QString& text) {
  const QStringList parts = text.split('|');
  AgentExtraction rule;
  rule.start_text = parts[0].toStdString();
  rule.start_kind = MarkerKindOf(rule.start_text);
  rule.end_text = parts[1].toStdString();
  rule.end_kind = MarkerKindOf(rule.end_text);
  rule.variable_name = parts[2].toStdString();
  return rule;
}

AgentAction Action(ActionType type) { return AgentAction(ActionTypeName(type), type); }

MailAgent SampleAgent() {
  MailAgent agent;
  agent.name = "Orders";
  agent.enabled = false;
  agent.conditions = {Condition("Subject|contains|order|0"), Condition("Sender|is|shop@x|1")};
  agent.extractions = {Rule("Total:|{End of line}|total")};
  AgentAction forward = Action(ActionType::kForward);
  forward.SetProperty("mailto", "boss@x");
  agent.actions = {Action(ActionType::kDelete), forward, Action(ActionType::kSound)};
  return agent;
}

void SetCombo(QComboBox* box, const QString& text) {
  if (box->isEditable()) {
    box->lineEdit()->clear();
    QTest::keyClicks(box->lineEdit(), text);
  } else {
    box->setCurrentIndex(box->findText(text));
  }
}

void TypeInto(QLineEdit* field, const QString& text) {
  field->clear();
  QTest::keyClicks(field, text);
}

}  // namespace

class TestAgentEditor : public QObject {
  Q_OBJECT

 private slots:
  void cleanup();

  void opensOnGeneralWithItsTitleAndThreePages();
  void unchangedOkGivesBackTheSameAgent();
  void cancelAfterChangesLeavesTheAgentAsItWas();

  void conditionRowText_data();
  void conditionRowText();
  void generalPageStartsWithFirstItemsAndNoSelection();
  void selectingAConditionShowsIt();
  void conditionButtons_data();
  void conditionButtons();

  void tokenCodes_data();
  void tokenCodes();
  void extractionRowText_data();
  void extractionRowText();
  void typedMarkersGetTheirCodes();
  void selectingARuleShowsItsTexts();
  void extractionButtons_data();
  void extractionButtons();
  void clickingTheSelectedRowShowsItAgain_data();
  void clickingTheSelectedRowShowsItAgain();

  void actionsPageStartsWithTypesAlphabeticalAndButtonsOff();
  void addingDeleteOrSoundAppendsAtOnce_data();
  void addingDeleteOrSoundAppendsAtOnce();
  void addingWithEditorAppendsOnlyOnOk();
  void editOpensNothingForTypesWithoutEditor_data();
  void editOpensNothingForTypesWithoutEditor();
  void editRewritesPropertiesOnlyOnOk();
  void moveButtons_data();
  void moveButtons();
  void deleteClearsSelectionAndDisablesButtons();
  void doubleClickOnlySelects();
  void saveDataEditorSeesRulesNotYetConfirmed();
  void addOpensTheTypesEditorModally();

 private:
  // An editor shown on screen, so that rows have places to click.
  std::unique_ptr<AgentEditor> OpenEditor(const MailAgent& agent) {
    auto editor = std::make_unique<AgentEditor>(QStringLiteral("Edit Mail Agent"), agent);
    editor->show();
    if (!QTest::qWaitForWindowExposed(editor.get())) qWarning("editor not exposed");
    return editor;
  }
  void ShowTab(AgentEditor& editor, const QString& title) {
    auto* tabs = editor.findChild<QTabWidget*>();
    for (int index = 0; index < tabs->count(); ++index) {
      if (tabs->tabText(index) == title) tabs->setCurrentIndex(index);
    }
  }
};

void TestAgentEditor::cleanup() { QVERIFY(NoWindowOpen()); }

void TestAgentEditor::opensOnGeneralWithItsTitleAndThreePages() {
  AgentEditor editor(QStringLiteral("New Mail Agent"), MailAgent{});
  QCOMPARE(editor.windowTitle(), QStringLiteral("New Mail Agent"));
  auto* tabs = editor.findChild<QTabWidget*>();
  QVERIFY(tabs);
  QCOMPARE(tabs->count(), 3);
  QCOMPARE(tabs->tabText(0), QStringLiteral("General"));
  QCOMPARE(tabs->tabText(1), QStringLiteral("Extraction"));
  QCOMPARE(tabs->tabText(2), QStringLiteral("Actions"));
  QCOMPARE(tabs->currentWidget(), editor.generalPage());
  QCOMPARE(tabs->widget(1), editor.extractionPage());
  QCOMPARE(tabs->widget(2), editor.actionsPage());
  auto* buttons = editor.findChild<QDialogButtonBox*>();
  QCOMPARE(buttons->standardButtons(), QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
}

void TestAgentEditor::unchangedOkGivesBackTheSameAgent() {
  const MailAgent agent = SampleAgent();
  auto editor = OpenEditor(agent);
  for (const char* tab : {"Extraction", "Actions", "General"}) ShowTab(*editor, tab);
  editor->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
  QCOMPARE(editor->result(), int(QDialog::Accepted));
  // The enabled flag stays the one the agent came with (0 here).
  QVERIFY(editor->EditedAgent() == agent);
}

void TestAgentEditor::cancelAfterChangesLeavesTheAgentAsItWas() {
  const MailAgent agent = SampleAgent();
  const MailAgent before = agent;
  auto editor = OpenEditor(agent);
  AgentGenPage* general = editor->generalPage();
  TypeInto(FieldLabelled<QLineEdit>(general, "Name:"), "Renamed");
  auto* conditions = ControlNamed<QListWidget>(general, "Conditions");
  ClickRow(conditions, 0);
  TypeInto(ControlNamed<QLineEdit>(general, "Value"), "changed");
  ButtonNamed(general, "&Replace")->click();

  ShowTab(*editor, "Extraction");
  ClickRow(ControlNamed<QListWidget>(editor->extractionPage(), "Extraction rules"), 0);
  ButtonNamed(editor->extractionPage(), "&Delete")->click();

  ShowTab(*editor, "Actions");
  AgentActionsPage* actions = editor->actionsPage();
  actions->SetEditorRunner([](ActionDialog& dialog) {
    dialog.findChild<QComboBox*>()->setEditText("someone@else");
    dialog.accept();
    return dialog.result();
  });
  ClickRow(ControlNamed<QListWidget>(actions, "Actions"), 1);
  ButtonNamed(actions, "&Edit...")->click();
  QCOMPARE(actions->actions()[1].Property("mailto"), std::string("someone@else"));

  editor->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->click();
  QCOMPARE(editor->result(), int(QDialog::Rejected));
  QVERIFY(agent == before);
}

void TestAgentEditor::conditionRowText_data() {
  QTest::addColumn<QString>("condition");
  QTest::addColumn<bool>("first");
  QTest::addColumn<QString>("row");
  QTest::newRow("first hides AND") << "Subject|contains|x|0" << true << "Subject  contains  'x'";
  QTest::newRow("first hides OR") << "Subject|contains|x|1" << true << "Subject  contains  'x'";
  QTest::newRow("following AND") << "Date|is not|2024|0" << false << "  AND  Date  is not  '2024'";
  QTest::newRow("following OR") << "Sender|is|x|1" << false << "  OR  Sender  is  'x'";
  QTest::newRow("empty value") << "Mailbox|does not contain||0" << false
                               << "  AND  Mailbox  does not contain  ''";
  QTest::newRow("value with quote") << "Subject|is|it's|0" << true << "Subject  is  'it's'";
}

void TestAgentEditor::conditionRowText() {
  QFETCH(QString, condition);
  QFETCH(bool, first);
  QFETCH(QString, row);
  QCOMPARE(ConditionRowText(Condition(condition),
                            first ? ConditionRowPlace::kFirst : ConditionRowPlace::kFollowing),
           row);
}

void TestAgentEditor::generalPageStartsWithFirstItemsAndNoSelection() {
  MailAgent agent = SampleAgent();
  AgentEditor editor(QStringLiteral("Edit Mail Agent"), agent);
  AgentGenPage* page = editor.generalPage();
  QCOMPARE(FieldLabelled<QLineEdit>(page, "Name:")->text(), QStringLiteral("Orders"));
  auto* join = ControlNamed<QComboBox>(page, "Join");
  auto* field = ControlNamed<QComboBox>(page, "Field");
  auto* op = ControlNamed<QComboBox>(page, "Operator");
  QCOMPARE(ItemTexts(join), QStringList({"AND", "OR"}));
  QCOMPARE(ItemTexts(field), QStringList({"Date", "Mailbox", "Message-Body", "Recipient",
                                          "Reply-To", "Sender", "Subject"}));
  QCOMPARE(ItemTexts(op), QStringList({"contains", "does not contain", "is", "is not"}));
  QCOMPARE(join->currentText(), QStringLiteral("AND"));
  QCOMPARE(field->currentText(), QStringLiteral("Date"));
  QCOMPARE(op->currentText(), QStringLiteral("contains"));
  QCOMPARE(ControlNamed<QLineEdit>(page, "Value")->text(), QString());
  auto* rows = ControlNamed<QListWidget>(page, "Conditions");
  QCOMPARE(RowTexts(rows),
           QStringList({"Subject  contains  'order'", "  OR  Sender  is  'shop@x'"}));
  QCOMPARE(SelectedRow(rows), -1);
  QVERIFY(page->findChild<QGroupBox*>()->title() ==
          "Run This Agent When an Incoming Message Matches These Conditions:");
}

void TestAgentEditor::selectingAConditionShowsIt() {
  MailAgent agent;
  agent.conditions = {Condition("Subject|is not|a|0"), Condition("subject|contains|b|1")};
  auto editor = OpenEditor(agent);
  AgentGenPage* page = editor->generalPage();
  auto* rows = ControlNamed<QListWidget>(page, "Conditions");
  ClickRow(rows, 0);
  QCOMPARE(ControlNamed<QComboBox>(page, "Field")->currentText(), QStringLiteral("Subject"));
  QCOMPARE(ControlNamed<QComboBox>(page, "Operator")->currentText(), QStringLiteral("is not"));
  QCOMPARE(ControlNamed<QLineEdit>(page, "Value")->text(), QStringLiteral("a"));
  QCOMPARE(ControlNamed<QComboBox>(page, "Join")->currentText(), QStringLiteral("AND"));
  // A field name outside the list (letter case differs) is shown as no item,
  // never as a different field.
  ClickRow(rows, 1);
  QCOMPARE(ControlNamed<QComboBox>(page, "Field")->currentIndex(), -1);
  QCOMPARE(ControlNamed<QComboBox>(page, "Join")->currentText(), QStringLiteral("OR"));
  QCOMPARE(ControlNamed<QLineEdit>(page, "Value")->text(), QStringLiteral("b"));
}

void TestAgentEditor::conditionButtons_data() {
  QTest::addColumn<QStringList>("start");
  QTest::addColumn<int>("selectedBefore");
  QTest::addColumn<QString>("button");
  QTest::addColumn<QString>("controls");
  QTest::addColumn<QStringList>("rows");
  QTest::addColumn<int>("selectedAfter");
  QTest::addColumn<QString>("controlsAfter");

  const QString a = "Subject|contains|a|1";
  const QString b = "Sender|is|b|0";
  const QString c = "Date|is not|c|1";
  const QString x = "Mailbox|does not contain|x|1";
  QTest::newRow("add to empty list selects it")
      << QStringList() << -1 << "&Add" << x << QStringList({"Mailbox  does not contain  'x'"}) << 0
      << x;
  QTest::newRow("add selects the new last row")
      << QStringList({a}) << 0 << "&Add" << x
      << QStringList({"Subject  contains  'a'", "  OR  Mailbox  does not contain  'x'"}) << 1 << x;
  QTest::newRow("insert before the first row shows the old first's join")
      << QStringList({a}) << 0 << "&Insert" << b
      << QStringList({"Sender  is  'b'", "  OR  Subject  contains  'a'"}) << 1 << a;
  QTest::newRow("insert without selection appends and selects the first")
      << QStringList({a}) << -1 << "&Insert" << x
      << QStringList({"Subject  contains  'a'", "  OR  Mailbox  does not contain  'x'"}) << 0 << a;
  QTest::newRow("insert before a middle row")
      << QStringList({a, c}) << 1 << "&Insert" << b
      << QStringList(
             {"Subject  contains  'a'", "  AND  Sender  is  'b'", "  OR  Date  is not  'c'"})
      << 2 << c;
  QTest::newRow("replace without selection does nothing")
      << QStringList({a}) << -1 << "&Replace" << x << QStringList({"Subject  contains  'a'"}) << -1
      << x;
  QTest::newRow("replace takes all four values")
      << QStringList({a, b}) << 1 << "&Replace" << x
      << QStringList({"Subject  contains  'a'", "  OR  Mailbox  does not contain  'x'"}) << 1 << x;
  QTest::newRow("delete without selection does nothing")
      << QStringList({a}) << -1 << "&Delete" << x << QStringList({"Subject  contains  'a'"}) << -1
      << x;
  QTest::newRow("delete selects the row at the same place")
      << QStringList({a, b, c}) << 1 << "&Delete" << b
      << QStringList({"Subject  contains  'a'", "  OR  Date  is not  'c'"}) << 1 << c;
  QTest::newRow("delete of the first row hides the new first's join")
      << QStringList({a, b}) << 0 << "&Delete" << a << QStringList({"Sender  is  'b'"}) << 0 << b;
  QTest::newRow("delete of the last row selects the new last")
      << QStringList({a, b}) << 1 << "&Delete" << b << QStringList({"Subject  contains  'a'"}) << 0
      << a;
  QTest::newRow("delete of the only row leaves none selected")
      << QStringList({a}) << 0 << "&Delete" << a << QStringList() << -1 << a;
}

void TestAgentEditor::conditionButtons() {
  QFETCH(QStringList, start);
  QFETCH(int, selectedBefore);
  QFETCH(QString, button);
  QFETCH(QString, controls);
  QFETCH(QStringList, rows);
  QFETCH(int, selectedAfter);
  QFETCH(QString, controlsAfter);

  MailAgent agent;
  for (const QString& text : start) agent.conditions.push_back(Condition(text));
  auto editor = OpenEditor(agent);
  AgentGenPage* page = editor->generalPage();
  auto* list = ControlNamed<QListWidget>(page, "Conditions");
  auto* join = ControlNamed<QComboBox>(page, "Join");
  auto* field = ControlNamed<QComboBox>(page, "Field");
  auto* op = ControlNamed<QComboBox>(page, "Operator");
  auto* value = ControlNamed<QLineEdit>(page, "Value");
  if (selectedBefore >= 0) ClickRow(list, selectedBefore);
  const AgentCondition typed = Condition(controls);
  SetCombo(join, typed.join == ConditionJoin::kOr ? "OR" : "AND");
  SetCombo(field, QString::fromStdString(typed.field));
  SetCombo(op, QString::fromStdString(typed.operator_name));
  TypeInto(value, QString::fromStdString(typed.value));

  QTest::mouseClick(ButtonNamed(page, button), Qt::LeftButton);

  QCOMPARE(RowTexts(list), rows);
  QCOMPARE(SelectedRow(list), selectedAfter);
  QCOMPARE(page->conditions().size(), size_t(rows.size()));
  const AgentCondition shown{field->currentText().toStdString(), op->currentText().toStdString(),
                             value->text().toStdString(), ConditionJoin{join->currentIndex()}};
  QVERIFY(shown == Condition(controlsAfter));
  if (selectedAfter >= 0) QVERIFY(page->conditions()[selectedAfter] == shown);
}

void TestAgentEditor::tokenCodes_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<int>("code");
  QTest::newRow("end of line") << "{End of line}" << 3;
  QTest::newRow("any blank space") << "{Any blank space}" << 1;
  QTest::newRow("tab character") << "{Tab character}" << 2;
  QTest::newRow("end of message") << "{End of message}" << 4;
  QTest::newRow("next character") << "{Next character}" << 5;
  QTest::newRow("letter case differs") << "{end of line}" << 0;
  QTest::newRow("capital Of") << "{End Of Line}" << 0;
  QTest::newRow("leading blank") << " {End of line}" << 0;
  QTest::newRow("trailing blank") << "{Tab character} " << 0;
  QTest::newRow("token inside text") << "x{Next character}" << 0;
  QTest::newRow("plain text") << "Total:" << 0;
  QTest::newRow("empty") << "" << 0;
}

void TestAgentEditor::tokenCodes() {
  QFETCH(QString, text);
  QFETCH(int, code);
  QCOMPARE(static_cast<int>(MarkerKindOf(text.toStdString())), code);
}

void TestAgentEditor::extractionRowText_data() {
  QTest::addColumn<QString>("rule");
  QTest::addColumn<QString>("row");
  QTest::newRow("all three") << "Total:|{End of line}|total"
                             << "{total} = Extract after 'Total:' until {End of line}";
  QTest::newRow("only variable") << "||v"
                                 << "{v} = ";
  QTest::newRow("only plain end") << "|;|"
                                  << " until ';'";
  QTest::newRow("only token end") << "|{End of message}|"
                                  << " until {End of message}";
  QTest::newRow("only begin token") << "{Tab character}||"
                                    << "Extract after {Tab character}";
  QTest::newRow("end differing in case is plain") << "|{end of line}|"
                                                  << " until '{end of line}'";
  QTest::newRow("no variable") << "a|b|"
                               << "Extract after 'a' until 'b'";
  QTest::newRow("all empty") << "||"
                             << "";
}

void TestAgentEditor::extractionRowText() {
  QFETCH(QString, rule);
  QFETCH(QString, row);
  QCOMPARE(ExtractionRowText(Rule(rule)), row);
}

void TestAgentEditor::typedMarkersGetTheirCodes() {
  auto editor = OpenEditor(MailAgent{});
  ShowTab(*editor, "Extraction");
  AgentExtractPage* page = editor->extractionPage();
  auto* begin = FieldLabelled<QComboBox>(page, "Begin extracting text after:");
  auto* end = FieldLabelled<QComboBox>(page, "Extract until finding:");
  auto* variable = FieldLabelled<QLineEdit>(page, "Save extraction as variable:");
  QCOMPARE(ItemTexts(begin), QStringList({"{Any blank space}", "{End of line}", "{Next character}",
                                          "{Tab character}"}));
  QCOMPARE(ItemTexts(end), QStringList({"{Any blank space}", "{End of line}", "{End of message}",
                                        "{Next character}", "{Tab character}"}));
  QCOMPARE(begin->currentText(), QString());
  QCOMPARE(end->currentText(), QString());

  // Typing is kept as typed: no completion to a suggestion.
  SetCombo(begin, "{End of message}");
  SetCombo(end, "{End");
  TypeInto(variable, "v");
  QCOMPARE(end->currentText(), QStringLiteral("{End"));
  ButtonNamed(page, "&Add")->click();
  SetCombo(begin, "From:");
  end->setCurrentIndex(1);
  ButtonNamed(page, "&Add")->click();

  QCOMPARE(page->extractions().size(), size_t(2));
  const AgentExtraction& typed = page->extractions()[0];
  QCOMPARE(typed.start_kind, MarkerKind::kEndOfMessage);
  QCOMPARE(typed.start_text, std::string("{End of message}"));
  QCOMPARE(typed.end_kind, MarkerKind::kText);
  QCOMPARE(typed.end_text, std::string("{End"));
  QCOMPARE(typed.variable_name, std::string("v"));
  const AgentExtraction& picked = page->extractions()[1];
  QCOMPARE(picked.start_kind, MarkerKind::kText);
  QCOMPARE(picked.end_kind, MarkerKind::kEndOfLine);
  QCOMPARE(picked.end_text, std::string("{End of line}"));
  QCOMPARE(RowTexts(ControlNamed<QListWidget>(page, "Extraction rules")),
           QStringList({"{v} = Extract after {End of message} until '{End'",
                        "{v} = Extract after 'From:' until {End of line}"}));
}

void TestAgentEditor::selectingARuleShowsItsTexts() {
  MailAgent agent;
  agent.extractions = {Rule("Total:|{End of line}|total"), Rule("|;|")};
  auto editor = OpenEditor(agent);
  ShowTab(*editor, "Extraction");
  AgentExtractPage* page = editor->extractionPage();
  auto* rows = ControlNamed<QListWidget>(page, "Extraction rules");
  QCOMPARE(SelectedRow(rows), -1);
  ClickRow(rows, 0);
  QCOMPARE(FieldLabelled<QComboBox>(page, "Begin extracting text after:")->currentText(),
           QStringLiteral("Total:"));
  QCOMPARE(FieldLabelled<QComboBox>(page, "Extract until finding:")->currentText(),
           QStringLiteral("{End of line}"));
  QCOMPARE(FieldLabelled<QLineEdit>(page, "Save extraction as variable:")->text(),
           QStringLiteral("total"));
  ClickRow(rows, 1);
  QCOMPARE(FieldLabelled<QComboBox>(page, "Begin extracting text after:")->currentText(),
           QString());
  QCOMPARE(FieldLabelled<QLineEdit>(page, "Save extraction as variable:")->text(), QString());
}

void TestAgentEditor::extractionButtons_data() {
  QTest::addColumn<QStringList>("start");
  QTest::addColumn<int>("selectedBefore");
  QTest::addColumn<QString>("button");
  QTest::addColumn<QString>("controls");
  QTest::addColumn<QStringList>("rows");
  QTest::addColumn<int>("selectedAfter");

  const QString r1 = "A:|{End of line}|a";
  const QString r2 = "B:|;|b";
  const QString typed = "{Tab character}|x|n";
  const QString a = "{a} = Extract after 'A:' until {End of line}";
  const QString b = "{b} = Extract after 'B:' until ';'";
  const QString n = "{n} = Extract after {Tab character} until 'x'";
  QTest::newRow("add leaves no selection")
      << QStringList({r1}) << -1 << "&Add" << typed << QStringList({a, n}) << -1;
  QTest::newRow("add keeps the selected row")
      << QStringList({r1, r2}) << 0 << "&Add" << typed << QStringList({a, b, n}) << 0;
  QTest::newRow("insert without selection does nothing")
      << QStringList({r1}) << -1 << "&Insert" << typed << QStringList({a}) << -1;
  QTest::newRow("insert goes before and is selected")
      << QStringList({r1, r2}) << 1 << "&Insert" << typed << QStringList({a, n, b}) << 1;
  QTest::newRow("replace without selection does nothing")
      << QStringList({r1}) << -1 << "&Replace" << typed << QStringList({a}) << -1;
  QTest::newRow("replace rebuilds in place")
      << QStringList({r1, r2}) << 0 << "&Replace" << typed << QStringList({n, b}) << 0;
  QTest::newRow("delete without selection does nothing")
      << QStringList({r1}) << -1 << "&Delete" << typed << QStringList({a}) << -1;
  QTest::newRow("delete leaves no selection")
      << QStringList({r1, r2}) << 0 << "&Delete" << typed << QStringList({b}) << -1;
}

void TestAgentEditor::extractionButtons() {
  QFETCH(QStringList, start);
  QFETCH(int, selectedBefore);
  QFETCH(QString, button);
  QFETCH(QString, controls);
  QFETCH(QStringList, rows);
  QFETCH(int, selectedAfter);

  MailAgent agent;
  for (const QString& text : start) agent.extractions.push_back(Rule(text));
  auto editor = OpenEditor(agent);
  ShowTab(*editor, "Extraction");
  AgentExtractPage* page = editor->extractionPage();
  auto* list = ControlNamed<QListWidget>(page, "Extraction rules");
  auto* begin = FieldLabelled<QComboBox>(page, "Begin extracting text after:");
  auto* end = FieldLabelled<QComboBox>(page, "Extract until finding:");
  auto* variable = FieldLabelled<QLineEdit>(page, "Save extraction as variable:");
  if (selectedBefore >= 0) ClickRow(list, selectedBefore);
  const QStringList parts = controls.split('|');
  SetCombo(begin, parts[0]);
  SetCombo(end, parts[1]);
  TypeInto(variable, parts[2]);

  QTest::mouseClick(ButtonNamed(page, button), Qt::LeftButton);

  QCOMPARE(RowTexts(list), rows);
  QCOMPARE(SelectedRow(list), selectedAfter);
  QCOMPARE(page->extractions().size(), size_t(rows.size()));
  for (size_t index = 0; index < page->extractions().size(); ++index) {
    QCOMPARE(ExtractionRowText(page->extractions()[index]), rows[index]);
  }
  // The controls keep what was typed, whatever the button did.
  QCOMPARE(begin->currentText(), parts[0]);
  QCOMPARE(end->currentText(), parts[1]);
  QCOMPARE(variable->text(), parts[2]);
}

void TestAgentEditor::clickingTheSelectedRowShowsItAgain_data() {
  QTest::addColumn<QString>("tab");
  QTest::addColumn<QString>("list");
  QTest::addColumn<QString>("field");
  QTest::addColumn<bool>("field_has_label");
  QTest::addColumn<QString>("shown");
  QTest::newRow("condition value") << "General"
                                   << "Conditions"
                                   << "Value" << false << "order";
  QTest::newRow("extraction variable") << "Extraction"
                                       << "Extraction rules"
                                       << "Save extraction as variable:" << true << "total";
}

void TestAgentEditor::clickingTheSelectedRowShowsItAgain() {
  QFETCH(QString, tab);
  QFETCH(QString, list);
  QFETCH(QString, field);
  QFETCH(bool, field_has_label);
  QFETCH(QString, shown);
  auto editor = OpenEditor(SampleAgent());
  ShowTab(*editor, tab);
  auto* page = editor->findChild<QTabWidget*>()->currentWidget();
  auto* rows = ControlNamed<QListWidget>(page, list);
  QLineEdit* edit = field_has_label ? FieldLabelled<QLineEdit>(page, field)
                                    : ControlNamed<QLineEdit>(page, field);
  ClickRow(rows, 0);
  QCOMPARE(edit->text(), shown);
  TypeInto(edit, "typed over");
  ClickRow(rows, 0);
  QCOMPARE(SelectedRow(rows), 0);
  QCOMPARE(edit->text(), shown);
}

void TestAgentEditor::actionsPageStartsWithTypesAlphabeticalAndButtonsOff() {
  AgentEditor editor(QStringLiteral("Edit Mail Agent"), SampleAgent());
  AgentActionsPage* page = editor.actionsPage();
  auto* types = FieldLabelled<QComboBox>(page, "Actions to perform:");
  QCOMPARE(ItemTexts(types),
           QStringList({"Delete Incoming Message", "Forward Incoming Message", "Play a Sound",
                        "Run an External Program", "Save Attachments",
                        "Save Message Data to a File", "Send an Outgoing Message"}));
  QCOMPARE(types->currentIndex(), 0);
  auto* rows = ControlNamed<QListWidget>(page, "Actions");
  QCOMPARE(RowTexts(rows),
           QStringList({"Delete Incoming Message", "Forward Incoming Message", "Play a Sound"}));
  QCOMPARE(SelectedRow(rows), -1);
  QVERIFY(ButtonNamed(page, "&Add...")->isEnabled());
  for (const char* text : {"&Edit...", "Move &Up", "&Move Down", "&Delete"}) {
    QVERIFY2(!ButtonNamed(page, text)->isEnabled(), qPrintable(text));
  }
}

void TestAgentEditor::addingDeleteOrSoundAppendsAtOnce_data() {
  QTest::addColumn<QString>("type");
  QTest::addColumn<int>("code");
  QTest::newRow("delete") << "Delete Incoming Message" << 1;
  QTest::newRow("sound") << "Play a Sound" << 3;
}

void TestAgentEditor::addingDeleteOrSoundAppendsAtOnce() {
  QFETCH(QString, type);
  QFETCH(int, code);
  MailAgent agent;
  agent.actions = {Action(ActionType::kForward)};
  auto editor = OpenEditor(agent);
  ShowTab(*editor, "Actions");
  AgentActionsPage* page = editor->actionsPage();
  int editors_opened = 0;
  page->SetEditorRunner([&](ActionDialog&) {
    ++editors_opened;
    return int(QDialog::Rejected);
  });
  SetCombo(FieldLabelled<QComboBox>(page, "Actions to perform:"), type);
  QTest::mouseClick(ButtonNamed(page, "&Add..."), Qt::LeftButton);
  QCOMPARE(editors_opened, 0);
  QCOMPARE(page->actions().size(), size_t(2));
  QCOMPARE(static_cast<int>(page->actions()[1].type), code);
  QCOMPARE(QString::fromStdString(page->actions()[1].name), type);
  QVERIFY(page->actions()[1].properties().empty());
  auto* rows = ControlNamed<QListWidget>(page, "Actions");
  QCOMPARE(RowTexts(rows), QStringList({"Forward Incoming Message", type}));
  QCOMPARE(SelectedRow(rows), 1);
  for (const char* text : {"&Edit...", "Move &Up", "&Move Down", "&Delete"}) {
    QVERIFY2(ButtonNamed(page, text)->isEnabled(), qPrintable(text));
  }
}

void TestAgentEditor::addingWithEditorAppendsOnlyOnOk() {
  auto editor = OpenEditor(MailAgent{});
  ShowTab(*editor, "Actions");
  AgentActionsPage* page = editor->actionsPage();
  auto* types = FieldLabelled<QComboBox>(page, "Actions to perform:");
  QString opened_title;
  int result = QDialog::Rejected;
  page->SetEditorRunner([&](ActionDialog& dialog) {
    opened_title = dialog.windowTitle();
    FieldLabelled<QLineEdit>(&dialog, "Program Path:")->setText("/bin/true");
    if (result == QDialog::Accepted)
      dialog.accept();
    else
      dialog.reject();
    return dialog.result();
  });
  SetCombo(types, "Run an External Program");
  ButtonNamed(page, "&Add...")->click();
  QCOMPARE(opened_title, QStringLiteral("Execute a Program"));
  QVERIFY(page->actions().empty());
  QCOMPARE(ControlNamed<QListWidget>(page, "Actions")->count(), 0);

  result = QDialog::Accepted;
  ButtonNamed(page, "&Add...")->click();
  QCOMPARE(page->actions().size(), size_t(1));
  QCOMPARE(page->actions()[0].type, ActionType::kRunProgram);
  QCOMPARE(page->actions()[0].name, std::string("Run an External Program"));
  QCOMPARE(page->actions()[0].Property("program"), std::string("/bin/true"));
  QCOMPARE(SelectedRow(ControlNamed<QListWidget>(page, "Actions")), 0);
}

void TestAgentEditor::editOpensNothingForTypesWithoutEditor_data() {
  QTest::addColumn<int>("type");
  QTest::newRow("play a sound") << 3;
  QTest::newRow("delete") << 1;
  QTest::newRow("type 7 from a file") << 7;
}

void TestAgentEditor::editOpensNothingForTypesWithoutEditor() {
  QFETCH(int, type);
  MailAgent agent;
  agent.actions = {AgentAction("Odd", ActionType{type})};
  agent.actions[0].SetProperty("kept", "1");
  auto editor = OpenEditor(agent);
  ShowTab(*editor, "Actions");
  AgentActionsPage* page = editor->actionsPage();
  int editors_opened = 0;
  page->SetEditorRunner([&](ActionDialog&) {
    ++editors_opened;
    return int(QDialog::Accepted);
  });
  ClickRow(ControlNamed<QListWidget>(page, "Actions"), 0);
  QVERIFY(ButtonNamed(page, "&Edit...")->isEnabled());
  QTest::mouseClick(ButtonNamed(page, "&Edit..."), Qt::LeftButton);
  QCOMPARE(editors_opened, 0);
  QVERIFY(page->actions() == agent.actions);
  QVERIFY(NewActionEditor(agent.actions[0], {}, nullptr) == nullptr);
}

void TestAgentEditor::editRewritesPropertiesOnlyOnOk() {
  MailAgent agent = SampleAgent();
  auto editor = OpenEditor(agent);
  ShowTab(*editor, "Actions");
  AgentActionsPage* page = editor->actionsPage();
  QString typed = "cancelled@x";
  bool press_ok = false;
  page->SetEditorRunner([&](ActionDialog& dialog) {
    auto* to = FieldLabelled<QComboBox>(&dialog, "Forward to:");
    to->lineEdit()->clear();
    QTest::keyClicks(to->lineEdit(), typed);
    if (press_ok)
      dialog.accept();
    else
      dialog.reject();
    return dialog.result();
  });
  auto* rows = ControlNamed<QListWidget>(page, "Actions");
  ClickRow(rows, 1);
  ButtonNamed(page, "&Edit...")->click();
  QCOMPARE(page->actions()[1].Property("mailto"), std::string("boss@x"));

  press_ok = true;
  typed = "{Sender}";
  ButtonNamed(page, "&Edit...")->click();
  QCOMPARE(page->actions()[1].Property("mailto"), std::string("{Sender}"));
  QCOMPARE(page->actions()[1].name, std::string("Forward Incoming Message"));
  QCOMPARE(rows->item(1)->text(), QStringLiteral("Forward Incoming Message"));
  QCOMPARE(SelectedRow(rows), 1);
}

void TestAgentEditor::moveButtons_data() {
  QTest::addColumn<int>("selectedBefore");
  QTest::addColumn<QString>("button");
  QTest::addColumn<QStringList>("order");
  QTest::addColumn<int>("selectedAfter");
  const QString d = "Delete Incoming Message";
  const QString f = "Forward Incoming Message";
  const QString s = "Play a Sound";
  QTest::newRow("up from the middle") << 1 << "Move &Up" << QStringList({f, d, s}) << 0;
  QTest::newRow("up on the first row") << 0 << "Move &Up" << QStringList({d, f, s}) << 0;
  QTest::newRow("down from the middle") << 1 << "&Move Down" << QStringList({d, s, f}) << 2;
  QTest::newRow("down on the last row") << 2 << "&Move Down" << QStringList({d, f, s}) << 2;
  QTest::newRow("down from the first") << 0 << "&Move Down" << QStringList({f, d, s}) << 1;
  QTest::newRow("up from the last") << 2 << "Move &Up" << QStringList({d, s, f}) << 1;
}

void TestAgentEditor::moveButtons() {
  QFETCH(int, selectedBefore);
  QFETCH(QString, button);
  QFETCH(QStringList, order);
  QFETCH(int, selectedAfter);
  MailAgent agent = SampleAgent();
  auto editor = OpenEditor(agent);
  ShowTab(*editor, "Actions");
  AgentActionsPage* page = editor->actionsPage();
  auto* rows = ControlNamed<QListWidget>(page, "Actions");
  ClickRow(rows, selectedBefore);
  QTest::mouseClick(ButtonNamed(page, button), Qt::LeftButton);
  QCOMPARE(RowTexts(rows), order);
  QCOMPARE(SelectedRow(rows), selectedAfter);
  QStringList model_order;
  for (const AgentAction& action : page->actions())
    model_order.append(QString::fromStdString(action.name));
  QCOMPARE(model_order, order);
  // The forward action moves with its properties.
  for (const AgentAction& action : page->actions()) {
    if (action.type == ActionType::kForward)
      QCOMPARE(action.Property("mailto"), std::string("boss@x"));
  }
}

void TestAgentEditor::deleteClearsSelectionAndDisablesButtons() {
  auto editor = OpenEditor(SampleAgent());
  ShowTab(*editor, "Actions");
  AgentActionsPage* page = editor->actionsPage();
  auto* rows = ControlNamed<QListWidget>(page, "Actions");
  ClickRow(rows, 1);
  QTest::mouseClick(ButtonNamed(page, "&Delete"), Qt::LeftButton);
  QCOMPARE(RowTexts(rows), QStringList({"Delete Incoming Message", "Play a Sound"}));
  QCOMPARE(page->actions().size(), size_t(2));
  QCOMPARE(page->actions()[1].type, ActionType::kSound);
  QCOMPARE(SelectedRow(rows), -1);
  for (const char* text : {"&Edit...", "Move &Up", "&Move Down", "&Delete"}) {
    QVERIFY2(!ButtonNamed(page, text)->isEnabled(), qPrintable(text));
  }
}

void TestAgentEditor::doubleClickOnlySelects() {
  auto editor = OpenEditor(SampleAgent());
  ShowTab(*editor, "Actions");
  AgentActionsPage* page = editor->actionsPage();
  int editors_opened = 0;
  page->SetEditorRunner([&](ActionDialog&) {
    ++editors_opened;
    return int(QDialog::Rejected);
  });
  auto* rows = ControlNamed<QListWidget>(page, "Actions");
  const QPoint place = rows->visualItemRect(rows->item(1)).center();
  QTest::mouseDClick(rows->viewport(), Qt::LeftButton, {}, place);
  QCOMPARE(SelectedRow(rows), 1);
  QCOMPARE(editors_opened, 0);
  QVERIFY(ButtonNamed(page, "&Edit...")->isEnabled());
}

void TestAgentEditor::saveDataEditorSeesRulesNotYetConfirmed() {
  MailAgent agent;
  agent.extractions = {Rule("A:|;|first")};
  auto editor = OpenEditor(agent);
  ShowTab(*editor, "Extraction");
  AgentExtractPage* extraction = editor->extractionPage();
  SetCombo(FieldLabelled<QComboBox>(extraction, "Begin extracting text after:"), "B:");
  TypeInto(FieldLabelled<QLineEdit>(extraction, "Save extraction as variable:"), "added");
  ButtonNamed(extraction, "&Add")->click();

  ShowTab(*editor, "Actions");
  AgentActionsPage* page = editor->actionsPage();
  QStringList offered;
  page->SetEditorRunner([&](ActionDialog& dialog) {
    offered = ItemTexts(FieldLabelled<QComboBox>(&dialog, "Available Data:"));
    return int(QDialog::Rejected);
  });
  SetCombo(FieldLabelled<QComboBox>(page, "Actions to perform:"), "Save Message Data to a File");
  ButtonNamed(page, "&Add...")->click();
  QCOMPARE(offered, QStringList({"{added}", "{Date}", "{first}", "{Message-Body}", "{Recipient}",
                                 "{Reply-To}", "{Sender}", "{Subject}"}));
  QVERIFY(page->actions().empty());
}

void TestAgentEditor::addOpensTheTypesEditorModally() {
  auto editor = OpenEditor(MailAgent{});
  ShowTab(*editor, "Actions");
  AgentActionsPage* page = editor->actionsPage();
  SetCombo(FieldLabelled<QComboBox>(page, "Actions to perform:"), "Send an Outgoing Message");
  QString title;
  QTimer::singleShot(0, this, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    QVERIFY(modal);
    title = modal->windowTitle();
    auto* mail_to = FieldLabelled<QComboBox>(modal, "Mail To:");
    QTest::keyClicks(mail_to->lineEdit(), "a@b");
    modal->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
  });
  ButtonNamed(page, "&Add...")->click();
  QCOMPARE(title, QStringLiteral("Send Message"));
  QCOMPARE(page->actions().size(), size_t(1));
  QCOMPARE(page->actions()[0].Property("mailto"), std::string("a@b"));
  QCOMPARE(page->actions()[0].Property("attachCount"), std::string("0"));
}

}  // namespace quor

QTEST_MAIN(quor::TestAgentEditor)
#include "tst_agent_editor.moc"
