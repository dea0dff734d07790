#include "ui/save_data_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ui/agent_editor_text.h"

namespace quor {

namespace {

// A stored format line holds at most this many characters; a longer line is
// kept cut rather than refused, so typing never loses the whole line.
constexpr qsizetype kMaxLineLength = 1023;

// The first characters of a line, never splitting a surrogate pair.
QString CutLine(const QString& line) {
  if (line.size() <= kMaxLineLength) return line;
  qsizetype length = kMaxLineLength;
  if (line.at(length - 1).isHighSurrogate()) --length;
  return line.left(length);
}

}  // namespace

QStringList AvailableDataItems(const std::vector<AgentExtraction>& rules) {
  QStringList items;
  for (const AgentExtraction& rule : rules) {
    if (!rule.variable_name.empty()) items.append("{" + ToQString(rule.variable_name) + "}");
  }
  items << "{Sender}"
        << "{Subject}"
        << "{Recipient}"
        << "{Message-Body}"
        << "{Date}"
        << "{Reply-To}";
  return SortedAlphabetically(items);
}

QStringList FormatLines(const QString& format) {
  QStringList lines;
  for (const QString& line : format.split(QLatin1Char('\n'))) lines.append(CutLine(line));
  return lines;
}

SaveDataDialog::SaveDataDialog(const AgentAction& action, const std::vector<AgentExtraction>& rules,
                               QWidget* parent)
    : ActionDialog(QStringLiteral("Save Message Data to a File"), action, parent) {
  output_file_ = new QLineEdit(Text("outfile"), this);
  output_file_->setMinimumWidth(300);
  auto* browse_output = new QPushButton(QStringLiteral("..."), this);
  browse_output->setAccessibleDescription(QStringLiteral("Choose the output file"));
  append_ = new QCheckBox(QStringLiteral("Append data to existing file"), this);
  append_->setChecked(Flag("append"));

  // Tab order is the order of creation, so the controls are made top to
  // bottom: the template file and its "..." before the third method.
  auto* contents = new QGroupBox(QStringLiteral("Contents"), this);
  methods_[0] = new QRadioButton(QStringLiteral("Save the entire message"), contents);
  methods_[1] = new QRadioButton(QStringLiteral("Save using template file:"), contents);
  template_file_ = new QLineEdit(Text("templatefile"), contents);
  template_file_->setAccessibleName(QStringLiteral("Template file"));
  auto* browse_template = new QPushButton(QStringLiteral("..."), contents);
  browse_template->setAccessibleDescription(QStringLiteral("Choose the template file"));
  methods_[2] = new QRadioButton(
      QStringLiteral("Save using the format below (add text, data fields, etc.):"), contents);
  auto* method_group = new QButtonGroup(this);
  for (int method = 0; method < 3; ++method) method_group->addButton(methods_[method], method);
  // A stored method outside 0 to 2 shows no button ticked.
  const int32_t stored_method = action.NumberProperty("savemethod");
  if (stored_method >= 0 && stored_method < 3) {
    methods_[stored_method]->setChecked(true);
    // The group is one Tab stop (the arrows move within it), and it should be
    // the ticked method; left alone, Qt stops at whichever button Tab reaches
    // first and keeps the stop on the button that last had the focus.
    for (QRadioButton* method : methods_) {
      if (method != methods_[stored_method])
        method->setFocusPolicy(static_cast<Qt::FocusPolicy>(method->focusPolicy() & ~Qt::TabFocus));
    }
  }

  available_data_ = new QComboBox(contents);
  available_data_->addItems(AvailableDataItems(rules));
  available_data_->setCurrentIndex(0);
  auto* available_label = new QLabel(QStringLiteral("Available Data:"), contents);
  available_label->setBuddy(available_data_);
  auto* insert = new QPushButton(QStringLiteral("&Insert"), contents);

  format_ = new QPlainTextEdit(contents);
  format_->setAccessibleName(QStringLiteral("Format"));
  format_->setLineWrapMode(QPlainTextEdit::NoWrap);
  format_->setTabChangesFocus(true);
  format_->setPlainText(NumberedList("linecount", "line").join(QLatin1Char('\n')));

  output_chooser_ = [this] {
    return QFileDialog::getSaveFileName(this, QString(), output_file_->text(),
                                        QStringLiteral("Text file (*)"));
  };
  template_chooser_ = [this] {
    return QFileDialog::getOpenFileName(this, QString(), template_file_->text(),
                                        QStringLiteral("Text Files (*.txt);;All Files (*)"));
  };
  connect(browse_output, &QPushButton::clicked, this, &SaveDataDialog::ChooseOutput);
  connect(browse_template, &QPushButton::clicked, this, &SaveDataDialog::ChooseTemplate);
  connect(insert, &QPushButton::clicked, this, &SaveDataDialog::InsertData);

  auto* output_row = new QHBoxLayout;
  output_row->addWidget(output_file_, 1);
  output_row->addWidget(browse_output);
  auto* output_label = new QLabel(QStringLiteral("Output filename:"), this);
  output_label->setBuddy(output_file_);
  auto* top = new QFormLayout;
  top->addRow(output_label, output_row);
  top->addRow(append_);

  auto* template_row = new QHBoxLayout;
  template_row->addWidget(methods_[1]);
  template_row->addWidget(template_file_, 1);
  template_row->addWidget(browse_template);
  auto* data_row = new QHBoxLayout;
  data_row->addWidget(available_label);
  data_row->addWidget(available_data_, 1);
  data_row->addWidget(insert);
  auto* contents_layout = new QVBoxLayout(contents);
  contents_layout->addWidget(methods_[0]);
  contents_layout->addLayout(template_row);
  contents_layout->addWidget(methods_[2]);
  contents_layout->addLayout(data_row);
  contents_layout->addWidget(format_, 1);

  auto* content = new QVBoxLayout;
  content->addLayout(top);
  content->addWidget(contents, 1);
  SetContent(content);
}

void SaveDataDialog::ChooseOutput() {
  const QString path = output_chooser_();
  if (!path.isEmpty()) output_file_->setText(path);
}

void SaveDataDialog::ChooseTemplate() {
  const QString path = template_chooser_();
  if (!path.isEmpty()) template_file_->setText(path);
}

void SaveDataDialog::InsertData() {
  format_->textCursor().insertText(available_data_->currentText());
  format_->setFocus();
}

void SaveDataDialog::StoreProperties(AgentAction& action) const {
  SetText(action, "outfile", output_file_->text());
  SetFlag(action, "append", append_->isChecked());
  int method = -1;
  for (int index = 0; index < 3; ++index) {
    if (methods_[index]->isChecked()) method = index;
  }
  action.SetProperty("savemethod", std::to_string(method));
  SetText(action, "templatefile", template_file_->text());
  SetNumberedList(action, "linecount", "line", FormatLines(format_->toPlainText()));
}

}  // namespace quor
