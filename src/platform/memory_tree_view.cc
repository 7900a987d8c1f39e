// nimbo::MemoryTreeView: the TreeView interface over the in-memory tree state, plus what the
// host reads back.
#include "nimbo/memory_tree_view.h"

#include <cstdint>

#include "nimbo/error.h"
#include "platform/memory_tree_state.h"

namespace nimbo {

using internal::Place;

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
  return state_->Share(state_->AddNode(0, Place::kLast, 0, "", "", ""));
}

std::shared_ptr<Node> MemoryTreeView::Add(const std::shared_ptr<Node>& relative,
                                          Relationship relationship, const std::string& key,
                                          const std::string& text, const std::string& image) {
  if (!relative) return state_->Share(state_->AddNode(0, Place::kLast, 0, key, text, image));
  return state_->Share(
      state_->AddRelated(state_->Resolve(relative), relationship, key, text, image));
}

int MemoryTreeView::Count() const { return state_->Count(); }

std::shared_ptr<Node> MemoryTreeView::Item(int index) const {
  const std::uint32_t slot = state_->At(index);
  if (slot == 0) throw Error(err::kSubscriptOutOfRange);
  return state_->Share(slot);
}

std::shared_ptr<Node> MemoryTreeView::Item(const std::string& key) const {
  const std::uint32_t slot = state_->Find(key);
  if (slot == 0) throw Error(err::kSubscriptOutOfRange);
  return state_->Share(slot);
}

void MemoryTreeView::Remove(int index) {
  const std::uint32_t slot = state_->At(index);
  if (slot == 0) throw Error(err::kSubscriptOutOfRange);
  state_->RemoveSubtree(slot);
}

std::shared_ptr<Node> MemoryTreeView::SelectedItem() const {
  if (state_->selected() == 0) throw Error(err::kObjectNotSet);
  return state_->Share(state_->selected());
}

void MemoryTreeView::PathSeparator(const std::string& separator) {
  state_->set_separator(separator);
}

int MemoryTreeView::LabelEdit() const { return label_edit_; }
bool MemoryTreeView::Sorted() const { return state_->sorted(); }
bool MemoryTreeView::Enabled() const { return enabled_; }
int MemoryTreeView::MousePointer() const { return mouse_pointer_; }
int MemoryTreeView::RefreshCount() const { return refresh_count_; }

std::shared_ptr<Node> MemoryTreeView::SelectedOrNull() const { return state_->Share(state_->selected()); }

std::shared_ptr<Node> MemoryTreeView::LastMadeVisible() const {
  return state_->Share(state_->last_visible());
}

std::vector<std::shared_ptr<Node>> MemoryTreeView::Roots() const {
  std::vector<std::shared_ptr<Node>> roots;
  const internal::TreeState& state = *state_;
  for (std::uint32_t slot = state.roots().first; slot != 0; slot = state.record(slot).next) {
    roots.push_back(state.Share(slot));
  }
  return roots;
}

void MemoryTreeView::Walk(
    const std::function<void(const std::shared_ptr<Node>& node, int depth)>& visit) const {
  state_->Walk(visit);
}

}  // namespace nimbo
