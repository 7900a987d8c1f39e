// The memory tree view's node records and the tree-wide state behind them: numbering through a
// slot index, keys through an open addressing table, sibling order through linked lists plus a
// sort index, and the handles the host holds.
#include "platform/memory_tree_state.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "nimbo/error.h"

namespace nimbo::internal {
namespace {

unsigned char Folded(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}

// Compares two texts as their bytes with ASCII letters in lower case: <0, 0 or >0.
int CompareFolded(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char x = Folded(a[i]);
    const unsigned char y = Folded(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace

// ---- TreeNode ----

TreeNode::~TreeNode() {
  if (tree_ != nullptr) tree_->ForgetHandle(slot_);
}

TreeState& TreeNode::Live() const {
  if (tree_ == nullptr) throw Error(err::kObjectNotSet);
  return *tree_;
}

std::string TreeNode::Tag() const {
  const TreeState& tree = Live();
  return tree.SharedText(tree.record(slot_).tag);
}

void TreeNode::Tag(const std::string& value) {
  TreeState& tree = Live();
  tree.SetSharedText(&tree.record(slot_).tag, value);
}

std::string TreeNode::Text() const { return Live().record(slot_).text.str(); }

void TreeNode::Text(const std::string& value) { Live().ChangeText(slot_, value); }

std::string TreeNode::Key() const { return Live().record(slot_).key.str(); }

void TreeNode::Key(const std::string& value) { Live().ChangeKey(slot_, value); }

std::int32_t TreeNode::ForeColor() const { return Live().record(slot_).fore_color; }

void TreeNode::ForeColor(std::int32_t value) { Live().record(slot_).fore_color = value; }

std::string TreeNode::Image() const {
  const TreeState& tree = Live();
  return tree.SharedText(tree.record(slot_).image);
}

void TreeNode::Image(const std::string& value) {
  TreeState& tree = Live();
  tree.SetSharedText(&tree.record(slot_).image, value);
}

bool TreeNode::Expanded() const { return Live().record(slot_).expanded; }

void TreeNode::Expanded(bool value) { Live().record(slot_).expanded = value; }

bool TreeNode::Selected() const { return Live().selected() == slot_; }

void TreeNode::Selected(bool value) {
  TreeState& tree = Live();
  if (value) {
    tree.set_selected(slot_);
  } else if (tree.selected() == slot_) {
    tree.set_selected(0);
  }
}

int TreeNode::Children() const { return static_cast<int>(Live().record(slot_).children.count); }

std::shared_ptr<Node> TreeNode::Child() const {
  const TreeState& tree = Live();
  return tree.Share(tree.record(slot_).children.first);
}

std::shared_ptr<Node> TreeNode::FirstSibling() const {
  const TreeState& tree = Live();
  return tree.Share(tree.GroupOf(tree.record(slot_).parent).first);
}

std::shared_ptr<Node> TreeNode::LastSibling() const {
  const TreeState& tree = Live();
  return tree.Share(tree.GroupOf(tree.record(slot_).parent).last);
}

std::shared_ptr<Node> TreeNode::Next() const {
  const TreeState& tree = Live();
  return tree.Share(tree.record(slot_).next);
}

std::shared_ptr<Node> TreeNode::Parent() const {
  const TreeState& tree = Live();
  return tree.Share(tree.record(slot_).parent);
}

int TreeNode::Index() const { return static_cast<int>(Live().Position(slot_)); }

std::string TreeNode::FullPath() const { return Live().FullPath(slot_); }

void TreeNode::EnsureVisible() {
  TreeState& tree = Live();
  for (std::uint32_t n = tree.record(slot_).parent; n != 0; n = tree.record(n).parent) {
    tree.record(n).expanded = true;
  }
  tree.set_last_visible(slot_);
}

// ---- TreeState::Store ----

std::uint32_t TreeState::Store::Append() {
  if (size_ == chunks_.size() * kChunk) chunks_.push_back(std::make_unique<NodeRecord[]>(kChunk));
  return static_cast<std::uint32_t>(size_++);
}

void TreeState::Store::Truncate(std::size_t size) {
  for (std::size_t slot = size; slot < size_; ++slot) {
    (*this)[static_cast<std::uint32_t>(slot)] = NodeRecord();
  }
  size_ = size;
  chunks_.resize((size + kChunk - 1) / kChunk);
}

// ---- TreeState ----

TreeState::TreeState() : keys_([this](std::uint32_t slot) { return store_[slot].key.view(); }) {
  store_.Append();  // slot 0 stands for "no node"
}

TreeState::~TreeState() {
  // Hosts may hold nodes longer than the tree; they must find them removed, not dangling.
  for (auto& [slot, handle] : handles_) handle->tree_ = nullptr;
}

std::shared_ptr<Node> TreeState::Share(std::uint32_t slot) const {
  if (slot == 0) return nullptr;
  if (auto held = handles_.find(slot); held != handles_.end()) {
    return held->second->shared_from_this();
  }
  auto handle = std::make_shared<TreeNode>(const_cast<TreeState*>(this), slot);
  handles_.emplace(slot, handle.get());
  return handle;
}

void TreeState::Walk(
    const std::function<void(const std::shared_ptr<Node>& node, int depth)>& visit) const {
  std::uint32_t slot = roots_.first;
  int depth = 0;
  while (slot != 0) {
    visit(Share(slot), depth);
    if (store_[slot].children.first != 0) {
      slot = store_[slot].children.first;
      ++depth;
      continue;
    }
    // Climb until an ancestor (or the node itself) has a next sibling.
    while (slot != 0 && store_[slot].next == 0) {
      slot = store_[slot].parent;
      --depth;
    }
    if (slot != 0) slot = store_[slot].next;
  }
}

std::uint32_t TreeState::AddNode(std::uint32_t parent, Place place, std::uint32_t anchor,
                                 std::string_view key, std::string_view text,
                                 std::string_view image) {
  if (!key.empty() && keys_.Find(key) != 0) throw Error(err::kKeyNotUnique);
  if (store_.size() > std::numeric_limits<std::uint32_t>::max() - 1) {
    throw Error(err::kOutOfMemory);
  }
  const std::uint32_t slot = store_.Append();
  NodeRecord& node = store_[slot];
  node.key.Assign(key);
  node.text.Assign(text);
  node.image = pool_.Acquire(image);
  node.live = true;
  numbering_.Append();
  if (!key.empty()) keys_.Insert(slot);
  Link(slot, parent, place, anchor);
  return slot;
}

std::uint32_t TreeState::AddRelated(std::uint32_t relative, Relationship relationship,
                                    std::string_view key, std::string_view text,
                                    std::string_view image) {
  const std::uint32_t parent = store_[relative].parent;
  switch (relationship) {
    case Relationship::kFirst:
      return AddNode(parent, Place::kFirst, 0, key, text, image);
    case Relationship::kLast:
      return AddNode(parent, Place::kLast, 0, key, text, image);
    case Relationship::kNext:
      return AddNode(parent, Place::kAfter, relative, key, text, image);
    case Relationship::kPrevious:
      return AddNode(parent, Place::kBefore, relative, key, text, image);
    case Relationship::kChild:
      return AddNode(relative, Place::kLast, 0, key, text, image);
  }
  throw Error::WithDetail(err::kInvalidCall, "Unknown relationship " +
                                                 std::to_string(static_cast<int>(relationship)));
}

std::uint32_t TreeState::Resolve(const std::shared_ptr<Node>& node) const {
  const auto* handle = dynamic_cast<const TreeNode*>(node.get());
  if (handle == nullptr) {
    throw Error::WithDetail(err::kInvalidCall,
                            "The relative node does not belong to this tree view");
  }
  if (handle->tree_ == nullptr) throw Error(err::kObjectNotSet);
  if (handle->tree_ != this) {
    throw Error::WithDetail(err::kInvalidCall,
                            "The relative node does not belong to this tree view");
  }
  return handle->slot_;
}

std::uint32_t TreeState::At(int index) const {
  if (index < 1) return 0;
  return static_cast<std::uint32_t>(numbering_.SlotAt(static_cast<std::size_t>(index)));
}

std::uint32_t TreeState::Find(std::string_view key) const {
  if (key.empty()) return 0;
  return keys_.Find(key);
}

void TreeState::RemoveSubtree(std::uint32_t slot) {
  Unlink(slot);
  std::vector<std::uint32_t> pending = {slot};
  while (!pending.empty()) {
    const std::uint32_t n = pending.back();
    pending.pop_back();
    for (std::uint32_t c = store_[n].children.first; c != 0; c = store_[c].next) {
      pending.push_back(c);
    }
    Kill(n, n != slot);
  }
  CompactIfSparse();
}

void TreeState::Kill(std::uint32_t slot, bool in_sort_index) {
  NodeRecord& node = store_[slot];
  if (in_sort_index && sorted_) {
    sort_index_.Erase(slot, [this](auto a, auto b) { return SortsBefore(a, b); });
  }
  if (!node.key.empty()) keys_.Erase(slot);
  numbering_.Kill(slot);
  pool_.Release(node.tag);
  pool_.Release(node.image);
  CutLoose(slot);
  // The record stays behind until the slots are compacted; it holds nothing meanwhile.
  node = NodeRecord();
}

void TreeState::CutLoose(std::uint32_t slot) {
  if (selected_ == slot) selected_ = 0;
  if (last_visible_ == slot) last_visible_ = 0;
  if (auto held = handles_.find(slot); held != handles_.end()) {
    held->second->tree_ = nullptr;
    handles_.erase(held);
  }
}

void TreeState::Clear() {
  for (auto& [slot, handle] : handles_) handle->tree_ = nullptr;
  handles_.clear();
  store_.Truncate(1);
  numbering_.Reset();
  keys_.Clear();
  pool_.Clear();
  sort_index_.Clear();
  roots_ = SiblingGroup();
  selected_ = 0;
  last_visible_ = 0;
  next_order_ = 1;
}

void TreeState::SetSorted(bool value) {
  if (value == sorted_) return;
  sorted_ = value;
  if (value) {
    SortAll();
  } else {
    sort_index_.Clear();
  }
}

void TreeState::SetSharedText(std::uint32_t* id, std::string_view text) {
  const std::uint32_t acquired = pool_.Acquire(text);
  pool_.Release(*id);
  *id = acquired;
}

void TreeState::ChangeText(std::uint32_t slot, std::string_view text) {
  NodeRecord& node = store_[slot];
  if (!sorted_ || CompareFolded(node.text.view(), text) == 0) {
    node.text.Assign(text);
    return;
  }
  // The sort key changes: take the node out of its group's order and put it back by text.
  const std::uint32_t parent = node.parent;
  Unlink(slot);
  node.text.Assign(text);
  Link(slot, parent, Place::kLast, 0);
}

void TreeState::ChangeKey(std::uint32_t slot, std::string_view key) {
  NodeRecord& node = store_[slot];
  if (key == node.key.view()) return;
  if (!key.empty() && keys_.Find(key) != 0) throw Error(err::kKeyNotUnique);
  if (!node.key.empty()) keys_.Erase(slot);
  node.key.Assign(key);
  if (!key.empty()) keys_.Insert(slot);
}

std::string TreeState::FullPath(std::uint32_t slot) const {
  std::vector<std::uint32_t> chain;
  for (std::uint32_t n = slot; n != 0; n = store_[n].parent) chain.push_back(n);
  std::string path;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (it != chain.rbegin()) path += separator_;
    path += store_[*it].text.view();
  }
  return path;
}

bool TreeState::SortsBefore(std::uint32_t a, std::uint32_t b) const {
  const NodeRecord& x = store_[a];
  const NodeRecord& y = store_[b];
  if (x.parent != y.parent) return x.parent < y.parent;
  const int by_text = CompareFolded(x.text.view(), y.text.view());
  if (by_text != 0) return by_text < 0;
  return x.order < y.order;
}

void TreeState::Link(std::uint32_t slot, std::uint32_t parent, Place place,
                     std::uint32_t anchor) {
  store_[slot].parent = parent;
  SiblingGroup& group = MutableGroupOf(parent);
  ++group.count;
  if (sorted_) {
    store_[slot].order = NextOrder();
    const std::uint32_t after =
        sort_index_.Insert(slot, [this](auto a, auto b) { return SortsBefore(a, b); });
    // The index holds every group one after another; past this group's end comes another's.
    ListInsertBefore(group, slot, after != 0 && store_[after].parent == parent ? after : 0);
    return;
  }
  switch (place) {
    case Place::kFirst:
      ListInsertBefore(group, slot, group.first);
      break;
    case Place::kLast:
      ListInsertBefore(group, slot, 0);
      break;
    case Place::kBefore:
      ListInsertBefore(group, slot, anchor);
      break;
    case Place::kAfter:
      ListInsertBefore(group, slot, store_[anchor].next);
      break;
  }
}

void TreeState::Unlink(std::uint32_t slot) {
  NodeRecord& node = store_[slot];
  SiblingGroup& group = MutableGroupOf(node.parent);
  if (sorted_) sort_index_.Erase(slot, [this](auto a, auto b) { return SortsBefore(a, b); });
  (node.prev != 0 ? store_[node.prev].next : group.first) = node.next;
  (node.next != 0 ? store_[node.next].prev : group.last) = node.prev;
  node.prev = 0;
  node.next = 0;
  --group.count;
}

// A `before` of 0 appends.
void TreeState::ListInsertBefore(SiblingGroup& group, std::uint32_t slot, std::uint32_t before) {
  const std::uint32_t after = before != 0 ? store_[before].prev : group.last;
  store_[slot].prev = after;
  store_[slot].next = before;
  (after != 0 ? store_[after].next : group.first) = slot;
  (before != 0 ? store_[before].prev : group.last) = slot;
}

std::uint32_t TreeState::NextOrder() {
  if (next_order_ == std::numeric_limits<std::uint32_t>::max()) RenumberOrders();
  return next_order_++;
}

void TreeState::RenumberOrders() {
  // The lists are in sort order, so numbering each group along its list keeps that order and
  // leaves the sort index valid.
  next_order_ = 1;
  for (std::uint32_t n = roots_.first; n != 0; n = store_[n].next) store_[n].order = next_order_++;
  for (std::uint32_t slot = 1; slot < store_.size(); ++slot) {
    if (!store_[slot].live) continue;
    for (std::uint32_t n = store_[slot].children.first; n != 0; n = store_[n].next) {
      store_[n].order = next_order_++;
    }
  }
}

void TreeState::SortAll() {
  // Equal texts keep their present order: the arrival numbers follow the lists first.
  RenumberOrders();
  std::vector<std::uint32_t> all;
  all.reserve(numbering_.live());
  for (std::uint32_t slot = 1; slot < store_.size(); ++slot) {
    if (store_[slot].live) all.push_back(slot);
  }
  std::sort(all.begin(), all.end(), [this](auto a, auto b) { return SortsBefore(a, b); });
  sort_index_.Assign(all);
  // Relink each group along the index, where its members stand together.
  for (std::uint32_t slot : all) {
    SiblingGroup& group = MutableGroupOf(store_[slot].parent);
    group.first = 0;
    group.last = 0;
  }
  for (std::uint32_t slot : all) {
    store_[slot].prev = 0;
    store_[slot].next = 0;
    ListInsertBefore(MutableGroupOf(store_[slot].parent), slot, 0);
  }
}

bool TreeState::SortIndexAgreesWithLists() const {
  std::vector<std::uint32_t> expected;
  if (sorted_) {
    // Groups in the order of their parents' slots, the top-level group first.
    for (std::uint32_t n = roots_.first; n != 0; n = store_[n].next) expected.push_back(n);
    for (std::uint32_t slot = 1; slot < store_.size(); ++slot) {
      if (!store_[slot].live) continue;
      for (std::uint32_t n = store_[slot].children.first; n != 0; n = store_[n].next) {
        expected.push_back(n);
      }
    }
  }
  return sort_index_.Flatten() == expected;
}

void TreeState::CompactIfSparse() {
  const std::size_t live = numbering_.live();
  const std::size_t slots = store_.size() - 1;
  if (slots < 64 || slots <= 2 * live) return;
  // Live slots keep their order under the new numbers, so the numbering, the sort index (which
  // orders by parent slot first) and every link stay consistent once renamed.
  std::vector<std::uint32_t> renumber(store_.size(), 0);
  std::uint32_t next = 1;
  for (std::uint32_t slot = 1; slot < store_.size(); ++slot) {
    if (store_[slot].live) renumber[slot] = next++;
  }
  for (std::uint32_t slot = 1; slot < store_.size(); ++slot) {
    const std::uint32_t to = renumber[slot];
    if (to != 0 && to != slot) store_[to] = std::move(store_[slot]);
  }
  store_.Truncate(next);
  for (std::uint32_t slot = 1; slot < next; ++slot) {
    NodeRecord& node = store_[slot];
    node.parent = renumber[node.parent];
    node.prev = renumber[node.prev];
    node.next = renumber[node.next];
    node.children.first = renumber[node.children.first];
    node.children.last = renumber[node.children.last];
  }
  roots_.first = renumber[roots_.first];
  roots_.last = renumber[roots_.last];
  selected_ = renumber[selected_];
  last_visible_ = renumber[last_visible_];
  keys_.Renumber(renumber);
  sort_index_.Renumber(renumber);
  std::unordered_map<std::uint32_t, TreeNode*> handles;
  handles.reserve(handles_.size());
  for (auto& [slot, handle] : handles_) {
    handle->slot_ = renumber[slot];
    handles.emplace(handle->slot_, handle);
  }
  handles_ = std::move(handles);
  numbering_.Reset(live);
}

}  // namespace nimbo::internal
