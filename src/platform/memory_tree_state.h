// The insides of nimbo::MemoryTreeView: its nodes, the sibling groups that order them, and the
// tree-wide state (numbering, keys, selection) that nodes and tree share.
#ifndef NIMBO_PLATFORM_MEMORY_TREE_STATE_H_
#define NIMBO_PLATFORM_MEMORY_TREE_STATE_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "nimbo/tree_view.h"
#include "platform/slot_index.h"

namespace nimbo::internal {

class TreeNode;
class TreeState;

// Siblings by their text with ASCII letters in lower case. The folded text is held in the index
// itself, so a search touches no node. A multimap puts an equal key after the equal ones already
// there, which keeps equal texts in order of arrival.
using SortIndex = std::multimap<std::string, TreeNode*>;

// One group of siblings: the children of a node, or the top-level nodes. The list gives display
// order and O(1) neighbours; the sort index, kept only while the tree is sorted, finds the place
// of a new node by text in O(log n).
struct SiblingGroup {
  TreeNode* first = nullptr;
  TreeNode* last = nullptr;
  int count = 0;
  SortIndex sorted;
};

class TreeNode final : public Node, public std::enable_shared_from_this<TreeNode> {
 public:
  TreeNode(TreeState* tree, std::size_t slot, std::string key);

  std::string Tag() const override;
  void Tag(const std::string& value) override;
  std::string Text() const override;
  void Text(const std::string& value) override;
  std::string Key() const override;
  void Key(const std::string& value) override;
  std::int32_t ForeColor() const override;
  void ForeColor(std::int32_t value) override;
  std::string Image() const override;
  void Image(const std::string& value) override;
  bool Expanded() const override;
  void Expanded(bool value) override;
  bool Selected() const override;
  void Selected(bool value) override;
  int Children() const override;
  std::shared_ptr<Node> Child() const override;
  std::shared_ptr<Node> FirstSibling() const override;
  std::shared_ptr<Node> LastSibling() const override;
  std::shared_ptr<Node> Next() const override;
  std::shared_ptr<Node> Parent() const override;
  int Index() const override;
  std::string FullPath() const override;
  void EnsureVisible() override;

 private:
  friend class TreeState;

  // The tree, or 91 once the node has been removed.
  TreeState& Live() const;

  TreeState* tree_;  // null once removed
  std::size_t slot_;
  std::string key_;
  std::string text_;
  std::string tag_;
  std::string image_;
  std::int32_t fore_color_ = 0;
  bool expanded_ = false;

  TreeNode* parent_ = nullptr;
  SiblingGroup* group_ = nullptr;  // the group this node belongs to
  TreeNode* prev_ = nullptr;
  TreeNode* next_ = nullptr;
  SortIndex::iterator sort_pos_;  // valid while the tree is sorted
  SiblingGroup children_;
};

// Where a node goes in its sibling group when the tree is not sorted.
enum class Place { kFirst, kLast, kBefore, kAfter };

class TreeState {
 public:
  TreeState() = default;
  ~TreeState();
  TreeState(const TreeState&) = delete;
  TreeState& operator=(const TreeState&) = delete;

  // Adds a node to `parent`'s children (null: top-level) at `place` next to `anchor` (for
  // kBefore and kAfter), or in text order while sorted. Raises 35602 for a duplicate key.
  std::shared_ptr<TreeNode> AddNode(TreeNode* parent, Place place, TreeNode* anchor,
                                    const std::string& key, const std::string& text,
                                    const std::string& image);
  // Adds a node next to or below `relative` as MemoryTreeView::Add describes.
  std::shared_ptr<TreeNode> AddRelated(TreeNode* relative, Relationship relationship,
                                       const std::string& key, const std::string& text,
                                       const std::string& image);
  // The node a host-supplied relative stands for: 91 when removed, 5 when not of this tree.
  TreeNode* Resolve(const std::shared_ptr<Node>& node);
  // The node at a 1-based index, or null out of range.
  TreeNode* At(int index) const;
  // The node with a key, or null.
  TreeNode* Find(const std::string& key) const;
  int Count() const { return static_cast<int>(index_.live()); }
  // Removes a node and its whole subtree.
  void RemoveSubtree(TreeNode* node);
  void Clear();
  void SetSorted(bool value);

  void ChangeText(TreeNode* node, const std::string& text);
  void ChangeKey(TreeNode* node, const std::string& key);

  const SiblingGroup& roots() const { return roots_; }
  TreeNode* selected() const { return selected_; }
  void set_selected(TreeNode* node) { selected_ = node; }
  TreeNode* last_visible() const { return last_visible_; }
  void set_last_visible(TreeNode* node) { last_visible_ = node; }
  std::size_t Position(const TreeNode& node) const { return index_.Position(node.slot_); }

  bool sorted() const { return sorted_; }
  const std::string& separator() const { return separator_; }
  void set_separator(const std::string& value) { separator_ = value; }

 private:
  void Link(SiblingGroup& group, TreeNode* node, Place place, TreeNode* anchor);
  void Unlink(TreeNode* node);
  static void ListInsertBefore(SiblingGroup& group, TreeNode* node, TreeNode* before);
  static void ListInsertAfter(SiblingGroup& group, TreeNode* node, TreeNode* after);
  // Orders one group by text, keeping the present order of equal texts, and indexes it.
  static void SortGroup(SiblingGroup& group);
  // Cuts a node loose from the tree so that its members raise 91.
  void Detach(TreeNode* node);
  // Renumbers the slots once dead ones outnumber the living, so memory follows the node count.
  void CompactIfSparse();

  // slots_[s] is the node in slot s (null once removed); slots_[0] is unused.
  std::vector<std::shared_ptr<TreeNode>> slots_ = {nullptr};
  SlotIndex index_;
  std::unordered_map<std::string, TreeNode*> keys_;
  SiblingGroup roots_;
  TreeNode* selected_ = nullptr;
  TreeNode* last_visible_ = nullptr;
  bool sorted_ = false;
  std::string separator_ = "\\";
};

// A node as the host sees it; null stays null.
std::shared_ptr<Node> Share(TreeNode* node);

}  // namespace nimbo::internal

#endif  // NIMBO_PLATFORM_MEMORY_TREE_STATE_H_
