// nimbo::MemoryTreeView: a complete tree view kept in memory, for hosts without a widget of their
// own (the command-line hosts, tests) and as the model a graphical host mirrors into its widget.
//
// [X] Node collection: 1-based indexes in order of addition, renumbered on removal; unique keys;
//     the five relationships; removal of whole subtrees; Clear.
// [X] Sorted: children and top-level nodes ordered by text, ignoring ASCII letter case; equal
//     texts keep the order in which they arrived. Turning it on re-sorts what is there.
// [X] Selection, Expanded, EnsureVisible, FullPath with a settable separator.
// [X] The display members the component sets (LabelEdit, Enabled, MousePointer, Refresh) are
//     recorded for the host to read back.
// [ ] Drawing, images and label editing: the host's business.
//
// Cost at n nodes: Add, Item(index), Item(key), Index(), Count(), Next(), Child(), Children(),
// FirstSibling() and LastSibling() are O(1) or O(log n), however many children one node has;
// Remove is O(log n) per removed node; FullPath is O(depth); turning Sorted on is O(n log n).
//
// Memory: about 110 bytes a node (a list node of 1,000,000 children takes some 107 MiB);
// tags and image keys that many nodes share are held once.
//
// Nodes are handed out as std::shared_ptr<Node>, made when asked for: while the host holds a
// node, asking for it again gives the same object. A node that has been removed (by Remove or
// Clear, or because the tree is gone) stays a valid object, but every member raises 91.
// Thread-safety: not thread-safe; one thread, the host's.
#ifndef NIMBO_MEMORY_TREE_VIEW_H_
#define NIMBO_MEMORY_TREE_VIEW_H_

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "nimbo/export.h"
#include "nimbo/tree_view.h"

namespace nimbo {

namespace internal {
class TreeState;  // the nodes and everything they share with their tree
}  // namespace internal

class NIMBO_API MemoryTreeView : public TreeView {
 public:
  MemoryTreeView();
  ~MemoryTreeView() override;

  // TreeView.
  void LabelEdit(int value) override;
  // Turning Sorted on re-sorts every group of siblings; turning it off keeps the present order.
  void Sorted(bool value) override;
  void Enabled(bool value) override;
  void MousePointer(int value) override;
  void Refresh() override;
  std::string PathSeparator() const override;
  void Clear() override;
  std::shared_ptr<Node> Add() override;
  // A null relative adds a top-level node after the others, whatever the relationship. With a
  // relative, kFirst and kLast add a first or last sibling of it, kNext and kPrevious a sibling
  // right after or before it, kChild a last child. While Sorted is on, the node goes to its
  // place by text instead. Raises 5 for a relative of another tree or an unknown relationship.
  std::shared_ptr<Node> Add(const std::shared_ptr<Node>& relative, Relationship relationship,
                            const std::string& key, const std::string& text,
                            const std::string& image) override;
  int Count() const override;
  std::shared_ptr<Node> Item(int index) const override;
  std::shared_ptr<Node> Item(const std::string& key) const override;
  void Remove(int index) override;
  std::shared_ptr<Node> SelectedItem() const override;

  // Host side.
  void PathSeparator(const std::string& separator);
  int LabelEdit() const;
  bool Sorted() const;
  bool Enabled() const;
  int MousePointer() const;
  // How many times Refresh has been called.
  int RefreshCount() const;
  // The selected node, or null when none is selected (SelectedItem raises 91 instead).
  std::shared_ptr<Node> SelectedOrNull() const;
  // The node EnsureVisible was last called on, or null when there was none or it is removed.
  std::shared_ptr<Node> LastMadeVisible() const;
  // The top-level nodes in display order; walk further with Node::Child() and Node::Next().
  std::vector<std::shared_ptr<Node>> Roots() const;
  // Calls `visit` for every node in display order: a node, then its children (depth first),
  // then its next sibling; `depth` is 0 for top-level nodes. The tree must not be changed
  // while it is walked.
  void Walk(const std::function<void(const std::shared_ptr<Node>& node, int depth)>& visit) const;

 private:
  std::unique_ptr<internal::TreeState> state_;
  int label_edit_ = 0;
  bool enabled_ = true;
  int mouse_pointer_ = 0;
  int refresh_count_ = 0;
};

}  // namespace nimbo

#endif  // NIMBO_MEMORY_TREE_VIEW_H_
