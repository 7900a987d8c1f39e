// The insides of nimbo::MemoryTreeView: a store of compact node records addressed by 32-bit slot
// numbers, the sibling lists and sort index that order them, the key table and numbering that
// find them, and the handles (TreeNode) through which the host holds them.
//
// Memory: a node is one 96-byte record plus about 20 bytes of index entries; tags and image keys
// are shared through a pool, since a list node's children all carry the same ones. Node objects
// exist only while the host holds them: a handle is made when a node is handed out and stays the
// same object for as long as anyone holds it.
#ifndef NIMBO_PLATFORM_MEMORY_TREE_STATE_H_
#define NIMBO_PLATFORM_MEMORY_TREE_STATE_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "nimbo/tree_view.h"
#include "platform/key_table.h"
#include "platform/packed_text.h"
#include "platform/slot_index.h"
#include "platform/sorted_slots.h"
#include "platform/text_pool.h"

namespace nimbo::internal {

class TreeState;

// A node as the host holds it: a handle on one slot of its tree. Once the node is removed (or
// the tree is gone) the handle is cut loose and every member raises 91.
class TreeNode final : public Node, public std::enable_shared_from_this<TreeNode> {
 public:
  TreeNode(TreeState* tree, std::uint32_t slot) : tree_(tree), slot_(slot) {}
  ~TreeNode() override;

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
  std::uint32_t slot_;
};

// One group of siblings (a node's children, or the top-level nodes) as a list in display order.
struct SiblingGroup {
  std::uint32_t first = 0;  // slots; 0 for none
  std::uint32_t last = 0;
  std::uint32_t count = 0;
};

struct NodeRecord {
  PackedText key;
  PackedText text;
  std::uint32_t tag = 0;    // in the tree's text pool
  std::uint32_t image = 0;  // in the tree's text pool
  std::int32_t fore_color = 0;
  std::uint32_t parent = 0;  // 0 for a top-level node
  std::uint32_t prev = 0;    // siblings in display order; 0 for none
  std::uint32_t next = 0;
  SiblingGroup children;
  // While sorted: orders equal texts among siblings by arrival (a larger number came later).
  std::uint32_t order = 0;
  bool expanded = false;
  bool live = false;
};

// Where a node goes in its sibling group when the tree is not sorted.
enum class Place { kFirst, kLast, kBefore, kAfter };

class TreeState {
 public:
  TreeState();
  ~TreeState();
  TreeState(const TreeState&) = delete;
  TreeState& operator=(const TreeState&) = delete;

  // Adds a node to `parent`'s children (0: top-level) at `place` next to `anchor` (for kBefore
  // and kAfter), or in text order while sorted, and returns its slot. Raises 35602 for a
  // duplicate key.
  std::uint32_t AddNode(std::uint32_t parent, Place place, std::uint32_t anchor,
                        std::string_view key, std::string_view text, std::string_view image);
  // Adds a node next to or below `relative` as MemoryTreeView::Add describes.
  std::uint32_t AddRelated(std::uint32_t relative, Relationship relationship,
                           std::string_view key, std::string_view text, std::string_view image);
  // The slot a host-supplied relative stands for: 91 when removed, 5 when not of this tree.
  std::uint32_t Resolve(const std::shared_ptr<Node>& node) const;
  // The slot at a 1-based index, or 0 out of range.
  std::uint32_t At(int index) const;
  // The slot with a key, or 0.
  std::uint32_t Find(std::string_view key) const;
  int Count() const { return static_cast<int>(numbering_.live()); }
  // Removes a node and its whole subtree.
  void RemoveSubtree(std::uint32_t slot);
  void Clear();
  void SetSorted(bool value);

  // The handle of a slot (the one already held, if any); null for slot 0.
  std::shared_ptr<Node> Share(std::uint32_t slot) const;
  // Calls `visit` for every node in display order with its depth (0 for top-level nodes).
  void Walk(const std::function<void(const std::shared_ptr<Node>& node, int depth)>& visit) const;

  // What the handles read and write.
  const NodeRecord& record(std::uint32_t slot) const { return store_[slot]; }
  NodeRecord& record(std::uint32_t slot) { return store_[slot]; }
  const std::string& SharedText(std::uint32_t id) const { return pool_.Text(id); }
  // Points `*id` at `text` in the pool, letting go of what it named before.
  void SetSharedText(std::uint32_t* id, std::string_view text);
  void ChangeText(std::uint32_t slot, std::string_view text);
  void ChangeKey(std::uint32_t slot, std::string_view key);
  const SiblingGroup& GroupOf(std::uint32_t parent) const {
    return parent == 0 ? roots_ : store_[parent].children;
  }
  std::size_t Position(std::uint32_t slot) const { return numbering_.Position(slot); }
  std::string FullPath(std::uint32_t slot) const;

  const SiblingGroup& roots() const { return roots_; }
  std::uint32_t selected() const { return selected_; }
  void set_selected(std::uint32_t slot) { selected_ = slot; }
  std::uint32_t last_visible() const { return last_visible_; }
  void set_last_visible(std::uint32_t slot) { last_visible_ = slot; }
  bool sorted() const { return sorted_; }
  const std::string& separator() const { return separator_; }
  void set_separator(const std::string& value) { separator_ = value; }

  // For tests: the next arrival number the sort order hands out, so that running out of them
  // can be tried without four billion additions.
  void set_next_order_for_testing(std::uint32_t next) { next_order_ = next; }
  // For tests: whether the sort index holds exactly the live nodes in sibling order.
  bool SortIndexAgreesWithLists() const;

 private:
  friend class TreeNode;

  // The records, in chunks that never move, so the store grows without copying itself.
  class Store {
   public:
    static constexpr std::size_t kChunk = 4096;
    NodeRecord& operator[](std::uint32_t slot) { return chunks_[slot / kChunk][slot % kChunk]; }
    const NodeRecord& operator[](std::uint32_t slot) const {
      return chunks_[slot / kChunk][slot % kChunk];
    }
    std::size_t size() const { return size_; }
    // A fresh record at the end; returns its slot.
    std::uint32_t Append();
    // Keeps the first `size` records, resetting and freeing the rest.
    void Truncate(std::size_t size);

   private:
    std::vector<std::unique_ptr<NodeRecord[]>> chunks_;
    std::size_t size_ = 0;
  };

  SiblingGroup& MutableGroupOf(std::uint32_t parent) {
    return parent == 0 ? roots_ : store_[parent].children;
  }
  // The sort order: by parent, then by text ignoring ASCII letter case, then by arrival.
  bool SortsBefore(std::uint32_t a, std::uint32_t b) const;
  void Link(std::uint32_t slot, std::uint32_t parent, Place place, std::uint32_t anchor);
  void Unlink(std::uint32_t slot);
  void ListInsertBefore(SiblingGroup& group, std::uint32_t slot, std::uint32_t before);
  std::uint32_t NextOrder();
  // Gives every node a fresh arrival number in its present sibling order.
  void RenumberOrders();
  // Builds the sort index over every node and puts each sibling list in its order.
  void SortAll();
  // Removes one node of a subtree being removed from every index and frees what it holds.
  void Kill(std::uint32_t slot, bool in_sort_index);
  void CutLoose(std::uint32_t slot);
  // Renumbers the slots once dead ones outnumber the living, so memory follows the node count.
  void CompactIfSparse();
  void ForgetHandle(std::uint32_t slot) { handles_.erase(slot); }

  Store store_;  // store_[0] is never a node
  SlotIndex numbering_;
  KeyTable keys_;
  TextPool pool_;
  SortedSlots sort_index_;  // every live node, while sorted
  SiblingGroup roots_;
  std::uint32_t selected_ = 0;
  std::uint32_t last_visible_ = 0;
  std::uint32_t next_order_ = 1;
  bool sorted_ = false;
  std::string separator_ = "\\";
  // The handles the host holds, by slot. A handle removes itself when it goes.
  mutable std::unordered_map<std::uint32_t, TreeNode*> handles_;
};

}  // namespace nimbo::internal

#endif  // NIMBO_PLATFORM_MEMORY_TREE_STATE_H_
