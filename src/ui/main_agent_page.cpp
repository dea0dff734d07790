#include "ui/main_agent_page.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <algorithm>

namespace quor {

namespace {

// Rows are "name<TAB>status"; the status column starts at 128 dialog units,
// that is 32 average character widths, under the "Status:" heading.
int TabStopPixels(const QFontMetrics& metrics) { return metrics.averageCharWidth() * 128 / 4; }

// Draws a row's text in two columns split at its tab. The row's text itself
// stays "name<TAB>status", which is what the list hands out to readers.
class TabStopDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyleOptionViewItem item(option);
    initStyleOption(&item, index);
    const QString text = item.text;
    item.text.clear();
    const QWidget* widget = item.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);

    QRect area = style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget);
    const int tab = text.indexOf(QLatin1Char('\t'));
    const QString first = tab < 0 ? text : text.left(tab);
    const QString second = tab < 0 ? QString() : text.mid(tab + 1);
    const int stop = TabStopPixels(item.fontMetrics);
    const QPalette::ColorRole role =
        (item.state & QStyle::State_Selected) ? QPalette::HighlightedText : QPalette::Text;
    const bool enabled = item.state & QStyle::State_Enabled;
    const int alignment = Qt::AlignLeft | Qt::AlignVCenter;

    QRect name_area = area;
    name_area.setRight(std::min(area.right(), area.left() + stop - 4));
    const QString name = item.fontMetrics.elidedText(first, Qt::ElideRight, name_area.width());
    style->drawItemText(painter, name_area, alignment, item.palette, enabled, name, role);
    if (!second.isEmpty()) {
      QRect status_area = area;
      status_area.setLeft(area.left() + stop);
      style->drawItemText(painter, status_area, alignment, item.palette, enabled, second, role);
    }
  }
};

}  // namespace

MainAgentPage::MainAgentPage(std::vector<MailAgent> agents, AgentEditFunction edit_agent,
                             QWidget* parent)
    : QWidget(parent), edit_agent_(std::move(edit_agent)) {
  list_ = new QListWidget(this);
  list_->setItemDelegate(new TabStopDelegate(list_));
  list_->setMinimumWidth(TabStopPixels(list_->fontMetrics()) + 100);

  // Both headings name the list: the second stands over its status column.
  auto* name_heading = new QLabel(tr("Agent Name:"), this);
  name_heading->setBuddy(list_);
  auto* status_heading = new QLabel(tr("Status:"), this);
  status_heading->setBuddy(list_);
  auto* headings = new QHBoxLayout;
  headings->setContentsMargins(list_->frameWidth() + 4, 0, 0, 0);
  headings->setSpacing(0);
  name_heading->setFixedWidth(TabStopPixels(list_->fontMetrics()));
  headings->addWidget(name_heading);
  headings->addWidget(status_heading);
  headings->addStretch(1);

  new_button_ = new QPushButton(tr("&New..."), this);
  edit_button_ = new QPushButton(tr("&Edit..."), this);
  enable_button_ = new QPushButton(tr("Ena&ble"), this);
  disable_button_ = new QPushButton(tr("&Disable"), this);
  delete_button_ = new QPushButton(tr("De&lete"), this);
  auto* buttons = new QVBoxLayout;
  for (QPushButton* button :
       {new_button_, edit_button_, enable_button_, disable_button_, delete_button_}) {
    button->setAutoDefault(false);
    buttons->addWidget(button);
  }
  buttons->addStretch(1);

  auto* layout = new QGridLayout(this);
  layout->addLayout(headings, 0, 0);
  layout->addWidget(list_, 1, 0);
  layout->addLayout(buttons, 1, 1);

  agents_ = std::make_unique<ListEditor<MailAgent>>(
      list_, std::move(agents), RowOrder::kSortedByText,
      [](const MailAgent& agent, int) { return RowText(agent); }, [this] { UpdateButtons(); },
      AfterRebuild::kCallSelectionHandler);
  agents_->Rebuild(ListEditor<MailAgent>::kNoRow);

  connect(new_button_, &QPushButton::clicked, this, &MainAgentPage::NewAgent);
  connect(edit_button_, &QPushButton::clicked, this, &MainAgentPage::EditAgent);
  connect(enable_button_, &QPushButton::clicked, this, &MainAgentPage::EnableAgent);
  connect(disable_button_, &QPushButton::clicked, this, &MainAgentPage::DisableAgent);
  connect(delete_button_, &QPushButton::clicked, this, &MainAgentPage::DeleteAgent);
}

std::vector<MailAgent> MainAgentPage::agents() const { return agents_->entries(); }

QString MainAgentPage::RowText(const MailAgent& agent) {
  return QString::fromStdString(agent.name) + QLatin1Char('\t') +
         (agent.enabled != 0 ? QStringLiteral("(Enabled)") : QStringLiteral("(Disabled)"));
}

void MainAgentPage::NewAgent() {
  if (!edit_agent_) return;
  std::optional<MailAgent> created = edit_agent_(tr("New Mail Agent"), MailAgent{});
  if (!created) return;
  created->enabled = 1;
  agents_->Rebuild(agents_->Append(std::move(*created)));
}

void MainAgentPage::EditAgent() {
  const int selected = agents_->SelectedIndex();
  if (selected < 0 || !edit_agent_) return;
  const uint64_t key = agents_->KeyAt(selected);
  std::optional<MailAgent> edited = edit_agent_(tr("Edit Mail Agent"), agents_->at(selected));
  if (!edited) return;
  // The editor ran a modal loop; find the agent again rather than trust the
  // index taken before it.
  const int index = agents_->IndexOfKey(key);
  if (index < 0) return;
  edited->enabled = agents_->at(index).enabled;
  MoveToEndAndSelect(index, std::move(*edited));
}

void MainAgentPage::EnableAgent() { SetSelectedStatus(Status::kEnabled); }

void MainAgentPage::DisableAgent() { SetSelectedStatus(Status::kDisabled); }

void MainAgentPage::SetSelectedStatus(Status status) {
  const int selected = agents_->SelectedIndex();
  if (selected < 0) return;
  const bool enable = status == Status::kEnabled;
  if ((agents_->at(selected).enabled != 0) == enable) return;
  MailAgent agent = agents_->at(selected);
  agent.enabled = enable ? 1 : 0;
  MoveToEndAndSelect(selected, std::move(agent));
}

void MainAgentPage::MoveToEndAndSelect(int index, MailAgent agent) {
  agents_->Replace(index, std::move(agent));
  agents_->Rebuild(agents_->MoveToEnd(index));
}

void MainAgentPage::DeleteAgent() {
  const int selected = agents_->SelectedIndex();
  if (selected < 0) return;
  agents_->Erase(selected);
  // Removing the selected row must not hand the selection to a neighbour.
  agents_->Rebuild(ListEditor<MailAgent>::kNoRow);
}

void MainAgentPage::UpdateButtons() {
  const bool selected = !list_->selectedItems().isEmpty();
  edit_button_->setEnabled(selected);
  enable_button_->setEnabled(selected);
  disable_button_->setEnabled(selected);
  delete_button_->setEnabled(selected);
}

}  // namespace quor
