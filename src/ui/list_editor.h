#pragma once
// The working list behind a list page of the setup dialogs: a vector of
// entries and the QListWidget that shows one row per entry. The five list
// pages (agents, mailboxes, conditions, extraction rules, actions) keep their
// entries here and differ only in what they pass in: how a row reads,
// whether the rows are sorted by their text or listed in entry order, and
// what the page does when the selection changes.
//
// Every change is made to the entries; the page then calls Rebuild, which
// makes the rows anew from the entries and selects one entry's row or none.
// The list's signals are blocked while it does so, so a rebuild never passes
// for the user's choice: fields the user typed into keep their text. Each row
// carries its entry's key, so rows with the same text each lead to their own
// entry, whatever order the sort gave them.
//
// The selection handler runs when the user picks a row, also when they click
// the row that is already selected (a page whose fields show the selected
// entry puts its values back after they were typed over), and, if the page
// asks for it, after every rebuild.
//
// The editor borrows the list widget; it must not outlive it. UI thread only.

#include <QListWidget>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QString>
#include <algorithm>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace quor {

enum class RowOrder {
  kEntryOrder,    // row n shows entry n
  kSortedByText,  // the list box sorts the rows; the entries keep their order
};

enum class AfterRebuild {
  kCallSelectionHandler,  // buttons or fields always follow the selection
  kKeepFields,            // fields keep what was typed across the page's buttons
};

template <typename Entry>
class ListEditor {
 public:
  static constexpr int kNoRow = -1;
  // The text of an entry's row; index is its place in the entries.
  using RowTextFunction = std::function<QString(const Entry& entry, int index)>;

  // Shows nothing until the first Rebuild, which the page calls once the
  // controls the selection handler uses exist.
  ListEditor(QListWidget* list, std::vector<Entry> entries, RowOrder order,
             RowTextFunction row_text, std::function<void()> selection_handler,
             AfterRebuild after_rebuild)
      : list_(list),
        entries_(std::move(entries)),
        row_text_(std::move(row_text)),
        selection_handler_(std::move(selection_handler)),
        after_rebuild_(after_rebuild) {
    keys_.reserve(entries_.size());
    for (size_t index = 0; index < entries_.size(); ++index) keys_.push_back(next_key_++);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setSortingEnabled(order == RowOrder::kSortedByText);
    selection_changed_ = QObject::connect(list_, &QListWidget::itemSelectionChanged, list_,
                                          [this] { selection_handler_(); });
    row_clicked_ = QObject::connect(list_, &QListWidget::itemClicked, list_,
                                    [this](QListWidgetItem*) { selection_handler_(); });
  }

  ~ListEditor() {
    QObject::disconnect(selection_changed_);
    QObject::disconnect(row_clicked_);
  }

  ListEditor(const ListEditor&) = delete;
  ListEditor& operator=(const ListEditor&) = delete;

  const std::vector<Entry>& entries() const { return entries_; }
  int count() const { return static_cast<int>(entries_.size()); }
  const Entry& at(int index) const { return entries_.at(static_cast<size_t>(index)); }

  // The index of the selected row's entry, or kNoRow.
  int SelectedIndex() const {
    const QList<QListWidgetItem*> selected = list_->selectedItems();
    if (selected.isEmpty()) return kNoRow;
    return IndexOfKey(selected.first()->data(kKeyRole).toULongLong());
  }

  // A key names an entry for as long as the editor lives, wherever the entry
  // moves; useful across a modal loop that may change the entries.
  uint64_t KeyAt(int index) const { return keys_.at(static_cast<size_t>(index)); }
  int IndexOfKey(uint64_t key) const {
    auto found = std::find(keys_.begin(), keys_.end(), key);
    return found == keys_.end() ? kNoRow : static_cast<int>(found - keys_.begin());
  }

  // Changes to the entries; the rows follow at the next Rebuild.
  int Append(Entry entry) {
    entries_.push_back(std::move(entry));
    keys_.push_back(next_key_++);
    return count() - 1;
  }
  void Insert(int index, Entry entry) {
    entries_.insert(entries_.begin() + index, std::move(entry));
    keys_.insert(keys_.begin() + index, next_key_++);
  }
  void Replace(int index, Entry entry) {
    entries_.at(static_cast<size_t>(index)) = std::move(entry);
  }
  void Erase(int index) {
    entries_.erase(entries_.begin() + index);
    keys_.erase(keys_.begin() + index);
  }
  // Takes the entry out of its place and appends it; returns its new index.
  int MoveToEnd(int index) {
    std::rotate(entries_.begin() + index, entries_.begin() + index + 1, entries_.end());
    std::rotate(keys_.begin() + index, keys_.begin() + index + 1, keys_.end());
    return count() - 1;
  }
  void Swap(int first, int second) {
    std::swap(entries_.at(static_cast<size_t>(first)), entries_.at(static_cast<size_t>(second)));
    std::swap(keys_.at(static_cast<size_t>(first)), keys_.at(static_cast<size_t>(second)));
  }

  // Makes every row anew from the entries and selects the row of the entry at
  // selected_index (kNoRow: none, and no row is current either). The list
  // keeps its scroll position as far as it can; a selected row is scrolled
  // into view.
  void Rebuild(int selected_index) {
    {
      const QSignalBlocker blocker(list_);
      const int scrolled = list_->verticalScrollBar()->value();
      list_->clear();
      QListWidgetItem* selected = nullptr;
      for (int index = 0; index < count(); ++index) {
        auto* item = new QListWidgetItem(row_text_(entries_[static_cast<size_t>(index)], index));
        item->setData(kKeyRole, QVariant::fromValue<qulonglong>(keys_[static_cast<size_t>(index)]));
        list_->addItem(item);
        if (index == selected_index) selected = item;
      }
      list_->doItemsLayout();
      list_->verticalScrollBar()->setValue(scrolled);
      if (selected) {
        list_->setCurrentItem(selected, QItemSelectionModel::ClearAndSelect);
        list_->scrollToItem(selected);
      } else {
        list_->setCurrentRow(kNoRow);
        list_->clearSelection();
      }
    }
    if (after_rebuild_ == AfterRebuild::kCallSelectionHandler) selection_handler_();
  }

 private:
  static constexpr int kKeyRole = Qt::UserRole;

  QListWidget* list_;
  std::vector<Entry> entries_;
  std::vector<uint64_t> keys_;  // keys_[n] names entries_[n]
  uint64_t next_key_ = 1;
  RowTextFunction row_text_;
  std::function<void()> selection_handler_;
  AfterRebuild after_rebuild_;
  QMetaObject::Connection selection_changed_;
  QMetaObject::Connection row_clicked_;
};

}  // namespace quor
