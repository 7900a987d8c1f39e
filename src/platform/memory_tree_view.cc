// nimbo::MemoryTreeView: the TreeView interface over the in-memory tree state, plus what the
// host reads back.
#include "nimbo/memory_tree_view.h"

#include <utility>

#include "nimbo/error.h"
#include "platform/memory_tree_state.h"

namespace nimbo {

using internal::Place;
using internal::Share;
using internal::TreeNode;

MemoryTreeView::MemoryTreeView() : state_(std::make_unique<internal::TreeState>()) {}

MemoryTreeView::~MemoryTreeView() = default;

void MemoryTreeView::LabelEdit(int value) { label_edit_ = value; }
void MemoryTreeView::Sorted(bool value) { state_->SetSorted(value); }
void MemoryTreeView::Enabled(bool value) { enabled_ = value; }
void MemoryTreeView::MousePointer(int value) { mouse_pointer_ = value; }
void MemoryTreeView::Refresh() { ++refresh_count_; }
std::string MemoryTreeView::PathSeparator() const { return state_->separator(); }

void MemoryTreeView::Clear() { state_->Clear(); }

std::shared_ptr<Node> MemoryTreeView::Add() {
  return state_->AddNode(nullptr, Place::kLast, nullptr, "", "", "");
}

std::shared_ptr<Node> MemoryTreeView::Add(const std::shared_ptr<Node>& relative,
                                          Relationship relationship, const std::string& key,
                                          const std::string& text, const std::string& image) {
  if (!relative) return state_->AddNode(nullptr, Place::kLast, nullptr, key, text, image);
  return state_->AddRelated(state_->Resolve(relative), relationship, key, text, image);
}

int MemoryTreeView::Count() const { return state_->Count(); }

std::shared_ptr<Node> MemoryTreeView::Item(int index) const {
  TreeNode* node = state_->At(index);
  if (node == nullptr) throw Error(err::kSubscriptOutOfRange);
  return Share(node);
}

std::shared_ptr<Node> MemoryTreeView::Item(const std::string& key) const {
  TreeNode* node = state_->Find(key);
  if (node == nullptr) throw Error(err::kSubscriptOutOfRange);
  return Share(node);
}

void MemoryTreeView::Remove(int index) {
  TreeNode* node = state_->At(index);
  if (node == nullptr) throw Error(err::kSubscriptOutOfRange);
  state_->RemoveSubtree(node);
}

std::shared_ptr<Node> MemoryTreeView::SelectedItem() const {
  if (state_->selected() == nullptr) throw Error(err::kObjectNotSet);
  return Share(state_->selected());
}

void MemoryTreeView::PathSeparator(const std::string& separator) {
  state_->set_separator(separator);
}

int MemoryTreeView::LabelEdit() const { return label_edit_; }
bool MemoryTreeView::Sorted() const { return state_->sorted(); }
bool MemoryTreeView::Enabled() const { return enabled_; }
int MemoryTreeView::MousePointer() const { return mouse_pointer_; }
int MemoryTreeView::RefreshCount() const { return refresh_count_; }

std::shared_ptr<Node> MemoryTreeView::SelectedOrNull() const { return Share(state_->selected()); }

std::shared_ptr<Node> MemoryTreeView::LastMadeVisible() const {
  return Share(state_->last_visible());
}

std::vector<std::shared_ptr<Node>> MemoryTreeView::Roots() const {
  std::vector<std::shared_ptr<Node>> roots;
  for (auto node = Share(state_->roots().first); node; node = node->Next()) roots.push_back(node);
  return roots;
}

void MemoryTreeView::Walk(
    const std::function<void(const std::shared_ptr<Node>& node, int depth)>& visit) const {
  std::shared_ptr<Node> node = Share(state_->roots().first);
  int depth = 0;
  while (node) {
    visit(node, depth);
    if (auto child = node->Child()) {
      node = std::move(child);
      ++depth;
      continue;
    }
    // Climb until an ancestor (or the node itself) has a next sibling.
    while (node && !node->Next()) {
      node = node->Parent();
      --depth;
    }
    if (node) node = node->Next();
  }
}

}  // namespace nimbo
