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

constexpr int kKeyRole = Qt::UserRole;

}  // namespace

MainAgentPage::MainAgentPage(std::vector<MailAgent> agents, AgentEditFunction edit_agent,
                             QWidget* parent)
    : QWidget(parent), edit_agent_(std::move(edit_agent)) {
  entries_.reserve(agents.size());
  for (auto& agent : agents) entries_.push_back(Entry{next_key_++, std::move(agent)});

  list_ = new QListWidget(this);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setSortingEnabled(true);
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

  for (const Entry& entry : entries_) {
    auto* item = new QListWidgetItem(RowText(entry.agent));
    item->setData(kKeyRole, QVariant::fromValue<qulonglong>(entry.key));
    list_->addItem(item);
  }
  list_->clearSelection();
  list_->setCurrentItem(nullptr);

  connect(list_, &QListWidget::itemSelectionChanged, this, &MainAgentPage::UpdateButtons);
  connect(new_button_, &QPushButton::clicked, this, &MainAgentPage::NewAgent);
  connect(edit_button_, &QPushButton::clicked, this, &MainAgentPage::EditAgent);
  connect(enable_button_, &QPushButton::clicked, this, &MainAgentPage::EnableAgent);
  connect(disable_button_, &QPushButton::clicked, this, &MainAgentPage::DisableAgent);
  connect(delete_button_, &QPushButton::clicked, this, &MainAgentPage::DeleteAgent);
  UpdateButtons();
}

std::vector<MailAgent> MainAgentPage::agents() const {
  std::vector<MailAgent> agents;
  agents.reserve(entries_.size());
  for (const Entry& entry : entries_) agents.push_back(entry.agent);
  return agents;
}

QString MainAgentPage::RowText(const MailAgent& agent) {
  return QString::fromStdString(agent.name) + QLatin1Char('\t') +
         (agent.enabled != 0 ? QStringLiteral("(Enabled)") : QStringLiteral("(Disabled)"));
}

void MainAgentPage::NewAgent() {
  if (!edit_agent_) return;
  std::optional<MailAgent> created = edit_agent_(tr("New Mail Agent"), MailAgent{});
  if (!created) return;
  created->enabled = 1;
  entries_.push_back(Entry{next_key_++, std::move(*created)});
  AddRowAndSelect(entries_.back());
}

void MainAgentPage::EditAgent() {
  auto selected = SelectedEntry();
  if (selected == entries_.end() || !edit_agent_) return;
  const uint64_t key = selected->key;
  std::optional<MailAgent> edited = edit_agent_(tr("Edit Mail Agent"), selected->agent);
  if (!edited) return;
  // The editor ran a modal loop; find the entry again rather than trust the
  // iterator taken before it.
  selected = std::find_if(entries_.begin(), entries_.end(),
                          [key](const Entry& entry) { return entry.key == key; });
  if (selected == entries_.end()) return;
  edited->enabled = selected->agent.enabled;
  selected->agent = std::move(*edited);
  MoveToEnd(selected);
  RebuildSelectedRow(entries_.back());
}

void MainAgentPage::EnableAgent() { SetSelectedStatus(Status::kEnabled); }

void MainAgentPage::DisableAgent() { SetSelectedStatus(Status::kDisabled); }

void MainAgentPage::SetSelectedStatus(Status status) {
  auto selected = SelectedEntry();
  if (selected == entries_.end()) return;
  const bool enable = status == Status::kEnabled;
  if ((selected->agent.enabled != 0) == enable) return;
  selected->agent.enabled = enable ? 1 : 0;
  MoveToEnd(selected);
  RebuildSelectedRow(entries_.back());
}

void MainAgentPage::DeleteAgent() {
  auto selected = SelectedEntry();
  if (selected == entries_.end()) return;
  entries_.erase(selected);
  delete list_->takeItem(list_->row(list_->selectedItems().first()));
  // Removing the selected row must not hand the selection to a neighbour.
  list_->clearSelection();
  list_->setCurrentItem(nullptr, QItemSelectionModel::NoUpdate);
  UpdateButtons();
}

void MainAgentPage::UpdateButtons() {
  const bool selected = !list_->selectedItems().isEmpty();
  edit_button_->setEnabled(selected);
  enable_button_->setEnabled(selected);
  disable_button_->setEnabled(selected);
  delete_button_->setEnabled(selected);
}

std::vector<MainAgentPage::Entry>::iterator MainAgentPage::SelectedEntry() {
  const QList<QListWidgetItem*> selected = list_->selectedItems();
  if (selected.isEmpty()) return entries_.end();
  const uint64_t key = selected.first()->data(kKeyRole).toULongLong();
  return std::find_if(entries_.begin(), entries_.end(),
                      [key](const Entry& entry) { return entry.key == key; });
}

void MainAgentPage::MoveToEnd(std::vector<Entry>::iterator entry) {
  std::rotate(entry, entry + 1, entries_.end());
}

void MainAgentPage::AddRowAndSelect(const Entry& entry) {
  auto* item = new QListWidgetItem(RowText(entry.agent));
  item->setData(kKeyRole, QVariant::fromValue<qulonglong>(entry.key));
  list_->addItem(item);
  list_->setCurrentItem(item, QItemSelectionModel::ClearAndSelect);
  list_->scrollToItem(item);
  UpdateButtons();
}

void MainAgentPage::RebuildSelectedRow(const Entry& entry) {
  const QList<QListWidgetItem*> selected = list_->selectedItems();
  if (!selected.isEmpty()) delete list_->takeItem(list_->row(selected.first()));
  AddRowAndSelect(entry);
}

}  // namespace quor
