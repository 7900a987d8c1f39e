// The memory tree view's nodes and the tree-wide state behind them: numbering through a slot
// index, keys through a hash map, sibling order through linked lists plus a sort index.
#include "platform/memory_tree_state.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <utility>

#include "nimbo/error.h"

namespace nimbo::internal {
namespace {

std::string Fold(const std::string& text) {
  std::string folded = text;
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

}  // namespace

std::shared_ptr<Node> Share(TreeNode* node) {
  if (node == nullptr) return nullptr;
  return node->shared_from_this();
}

// ---- TreeNode ----

TreeNode::TreeNode(TreeState* tree, std::size_t slot, std::string key)
    : tree_(tree), slot_(slot), key_(std::move(key)) {}

TreeState& TreeNode::Live() const {
  if (tree_ == nullptr) throw Error(err::kObjectNotSet);
  return *tree_;
}

std::string TreeNode::Tag() const {
  Live();
  return tag_;
}

void TreeNode::Tag(const std::string& value) {
  Live();
  tag_ = value;
}

std::string TreeNode::Text() const {
  Live();
  return text_;
}

void TreeNode::Text(const std::string& value) { Live().ChangeText(this, value); }

std::string TreeNode::Key() const {
  Live();
  return key_;
}

void TreeNode::Key(const std::string& value) { Live().ChangeKey(this, value); }

std::int32_t TreeNode::ForeColor() const {
  Live();
  return fore_color_;
}

void TreeNode::ForeColor(std::int32_t value) {
  Live();
  fore_color_ = value;
}

std::string TreeNode::Image() const {
  Live();
  return image_;
}

void TreeNode::Image(const std::string& value) {
  Live();
  image_ = value;
}

bool TreeNode::Expanded() const {
  Live();
  return expanded_;
}

void TreeNode::Expanded(bool value) {
  Live();
  expanded_ = value;
}

bool TreeNode::Selected() const { return Live().selected() == this; }

void TreeNode::Selected(bool value) {
  TreeState& tree = Live();
  if (value) {
    tree.set_selected(this);
  } else if (tree.selected() == this) {
    tree.set_selected(nullptr);
  }
}

int TreeNode::Children() const {
  Live();
  return children_.count;
}

std::shared_ptr<Node> TreeNode::Child() const {
  Live();
  return Share(children_.first);
}

std::shared_ptr<Node> TreeNode::FirstSibling() const {
  Live();
  return Share(group_->first);
}

std::shared_ptr<Node> TreeNode::LastSibling() const {
  Live();
  return Share(group_->last);
}

std::shared_ptr<Node> TreeNode::Next() const {
  Live();
  return Share(next_);
}

std::shared_ptr<Node> TreeNode::Parent() const {
  Live();
  return Share(parent_);
}

int TreeNode::Index() const { return static_cast<int>(Live().Position(*this)); }

std::string TreeNode::FullPath() const {
  const TreeState& tree = Live();
  std::vector<const TreeNode*> chain;
  for (const TreeNode* n = this; n != nullptr; n = n->parent_) chain.push_back(n);
  std::string path;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (it != chain.rbegin()) path += tree.separator();
    path += (*it)->text_;
  }
  return path;
}

void TreeNode::EnsureVisible() {
  TreeState& tree = Live();
  for (TreeNode* n = parent_; n != nullptr; n = n->parent_) n->expanded_ = true;
  tree.set_last_visible(this);
}

// ---- TreeState ----

TreeState::~TreeState() {
  // Hosts may hold nodes longer than the tree; they must find them removed, not dangling.
  for (auto& node : slots_) {
    if (node) Detach(node.get());
  }
}

std::shared_ptr<TreeNode> TreeState::AddNode(TreeNode* parent, Place place, TreeNode* anchor,
                                             const std::string& key, const std::string& text,
                                             const std::string& image) {
  if (!key.empty() && keys_.count(key) != 0) throw Error(err::kKeyNotUnique);
  auto node = std::make_shared<TreeNode>(this, slots_.size(), key);
  node->text_ = text;
  node->image_ = image;
  node->parent_ = parent;
  slots_.push_back(node);
  index_.Append();
  if (!key.empty()) keys_.emplace(key, node.get());
  Link(parent == nullptr ? roots_ : parent->children_, node.get(), place, anchor);
  return node;
}

std::shared_ptr<TreeNode> TreeState::AddRelated(TreeNode* relative, Relationship relationship,
                                                const std::string& key, const std::string& text,
                                                const std::string& image) {
  TreeNode* parent = relative->parent_;
  switch (relationship) {
    case Relationship::kFirst:
      return AddNode(parent, Place::kFirst, nullptr, key, text, image);
    case Relationship::kLast:
      return AddNode(parent, Place::kLast, nullptr, key, text, image);
    case Relationship::kNext:
      return AddNode(parent, Place::kAfter, relative, key, text, image);
    case Relationship::kPrevious:
      return AddNode(parent, Place::kBefore, relative, key, text, image);
    case Relationship::kChild:
      return AddNode(relative, Place::kLast, nullptr, key, text, image);
  }
  throw Error(err::kInvalidCall,
              "Unknown relationship " + std::to_string(static_cast<int>(relationship)));
}

TreeNode* TreeState::Resolve(const std::shared_ptr<Node>& node) {
  auto* tree_node = dynamic_cast<TreeNode*>(node.get());
  if (tree_node == nullptr) {
    throw Error(err::kInvalidCall, "The relative node does not belong to this tree view");
  }
  if (tree_node->tree_ == nullptr) throw Error(err::kObjectNotSet);
  if (tree_node->tree_ != this) {
    throw Error(err::kInvalidCall, "The relative node does not belong to this tree view");
  }
  return tree_node;
}

TreeNode* TreeState::At(int index) const {
  if (index < 1) return nullptr;
  const std::size_t slot = index_.SlotAt(static_cast<std::size_t>(index));
  return slot == 0 ? nullptr : slots_[slot].get();
}

TreeNode* TreeState::Find(const std::string& key) const {
  if (key.empty()) return nullptr;
  auto it = keys_.find(key);
  return it == keys_.end() ? nullptr : it->second;
}

void TreeState::RemoveSubtree(TreeNode* node) {
  Unlink(node);
  // Keep the objects alive until every link among them is cut.
  std::vector<std::shared_ptr<TreeNode>> doomed;
  std::vector<TreeNode*> pending = {node};
  while (!pending.empty()) {
    TreeNode* n = pending.back();
    pending.pop_back();
    for (TreeNode* c = n->children_.first; c != nullptr; c = c->next_) pending.push_back(c);
    doomed.push_back(std::move(slots_[n->slot_]));
    index_.Kill(n->slot_);
    if (!n->key_.empty()) keys_.erase(n->key_);
    Detach(n);
  }
  CompactIfSparse();
}

void TreeState::Clear() {
  std::vector<std::shared_ptr<TreeNode>> doomed = std::move(slots_);
  for (auto& node : doomed) {
    if (node) Detach(node.get());
  }
  slots_ = {nullptr};
  index_.Reset();
  keys_.clear();
  roots_ = SiblingGroup();
  selected_ = nullptr;
  last_visible_ = nullptr;
}

void TreeState::SetSorted(bool value) {
  if (value == sorted_) return;
  sorted_ = value;
  if (value) {
    SortGroup(roots_);
    for (auto& node : slots_) {
      if (node) SortGroup(node->children_);
    }
  } else {
    roots_.sorted.clear();
    for (auto& node : slots_) {
      if (node) node->children_.sorted.clear();
    }
  }
}

void TreeState::ChangeText(TreeNode* node, const std::string& text) {
  if (!sorted_ || Fold(text) == node->sort_pos_->first) {
    node->text_ = text;
    return;
  }
  // The sort key changes: take the node out of its group's order and put it back by text.
  SiblingGroup& group = *node->group_;
  Unlink(node);
  node->text_ = text;
  Link(group, node, Place::kLast, nullptr);
}

void TreeState::ChangeKey(TreeNode* node, const std::string& key) {
  if (key == node->key_) return;
  if (!key.empty() && keys_.count(key) != 0) throw Error(err::kKeyNotUnique);
  if (!node->key_.empty()) keys_.erase(node->key_);
  if (!key.empty()) keys_.emplace(key, node);
  node->key_ = key;
}

void TreeState::Link(SiblingGroup& group, TreeNode* node, Place place, TreeNode* anchor) {
  node->group_ = &group;
  ++group.count;
  if (sorted_) {
    node->sort_pos_ = group.sorted.emplace(Fold(node->text_), node);
    auto after = std::next(node->sort_pos_);
    ListInsertBefore(group, node, after == group.sorted.end() ? nullptr : after->second);
    return;
  }
  switch (place) {
    case Place::kFirst:
      ListInsertBefore(group, node, group.first);
      break;
    case Place::kLast:
      ListInsertBefore(group, node, nullptr);
      break;
    case Place::kBefore:
      ListInsertBefore(group, node, anchor);
      break;
    case Place::kAfter:
      ListInsertAfter(group, node, anchor);
      break;
  }
}

void TreeState::Unlink(TreeNode* node) {
  SiblingGroup& group = *node->group_;
  if (sorted_) group.sorted.erase(node->sort_pos_);
  (node->prev_ != nullptr ? node->prev_->next_ : group.first) = node->next_;
  (node->next_ != nullptr ? node->next_->prev_ : group.last) = node->prev_;
  node->prev_ = nullptr;
  node->next_ = nullptr;
  --group.count;
}

// A null `before` appends.
void TreeState::ListInsertBefore(SiblingGroup& group, TreeNode* node, TreeNode* before) {
  TreeNode* after = before != nullptr ? before->prev_ : group.last;
  node->prev_ = after;
  node->next_ = before;
  (after != nullptr ? after->next_ : group.first) = node;
  (before != nullptr ? before->prev_ : group.last) = node;
}

void TreeState::ListInsertAfter(SiblingGroup& group, TreeNode* node, TreeNode* after) {
  ListInsertBefore(group, node, after->next_);
}

void TreeState::SortGroup(SiblingGroup& group) {
  std::vector<std::pair<std::string, TreeNode*>> members;
  members.reserve(static_cast<std::size_t>(group.count));
  for (TreeNode* n = group.first; n != nullptr; n = n->next_)
    members.emplace_back(Fold(n->text_), n);
  std::stable_sort(members.begin(), members.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  group.sorted.clear();
  group.first = nullptr;
  group.last = nullptr;
  for (auto& [folded, n] : members) {
    // Each one sorts last so far, so the end is the right hint and the insert is O(1).
    n->sort_pos_ = group.sorted.emplace_hint(group.sorted.end(), std::move(folded), n);
    ListInsertBefore(group, n, nullptr);
  }
}

void TreeState::Detach(TreeNode* node) {
  if (selected_ == node) selected_ = nullptr;
  if (last_visible_ == node) last_visible_ = nullptr;
  node->tree_ = nullptr;
  node->parent_ = nullptr;
  node->group_ = nullptr;
  node->prev_ = nullptr;
  node->next_ = nullptr;
  node->children_ = SiblingGroup();
}

void TreeState::CompactIfSparse() {
  const std::size_t live = index_.live();
  if (index_.slots() < 64 || index_.slots() <= 2 * live) return;
  std::vector<std::shared_ptr<TreeNode>> packed = {nullptr};
  packed.reserve(live + 1);
  for (auto& node : slots_) {
    if (!node) continue;
    node->slot_ = packed.size();
    packed.push_back(std::move(node));
  }
  slots_ = std::move(packed);
  index_.Reset(live);
}

}  // namespace nimbo::internal
