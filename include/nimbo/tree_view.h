// The host's tree view and its nodes, as the component uses them. The host hands a TreeView in
// with Nimbo::SetControls; an in-process implementation is nimbo::MemoryTreeView
// (nimbo/memory_tree_view.h).
//
// Node indexes count from 1 in the order nodes were added; removing nodes renumbers the ones
// after them. Keys are unique in the tree (the empty key excepted). Errors are nimbo::Error:
// 91 when there is no selected node or a node was removed, 35602 for a duplicate key,
// 9 for an index out of range, 5 for an unknown relationship.
// Thread-safety: only the host's user-interface thread calls these.
#ifndef NIMBO_TREE_VIEW_H_
#define NIMBO_TREE_VIEW_H_

#include <cstdint>
#include <memory>
#include <string>

#include "nimbo/export.h"

namespace nimbo {

// Relationship of a new node to its relative in TreeView::Add.
enum class Relationship : int { kFirst = 0, kLast = 1, kNext = 2, kPrevious = 3, kChild = 4 };

class NIMBO_API Node {
 public:
  virtual ~Node() = default;
  Node() = default;
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;

  virtual std::string Tag() const = 0;
  virtual void Tag(const std::string& value) = 0;
  virtual std::string Text() const = 0;
  virtual void Text(const std::string& value) = 0;
  virtual std::string Key() const = 0;
  // Raises 35602 when another node already has the key.
  virtual void Key(const std::string& value) = 0;
  // Colour as 0x00BBGGRR.
  virtual std::int32_t ForeColor() const = 0;
  virtual void ForeColor(std::int32_t value) = 0;
  // Key of an image in the host's image list.
  virtual std::string Image() const = 0;
  virtual void Image(const std::string& value) = 0;
  virtual bool Expanded() const = 0;
  virtual void Expanded(bool value) = 0;
  virtual bool Selected() const = 0;
  // Selecting a node makes it the tree's SelectedItem; deselecting leaves none selected.
  virtual void Selected(bool value) = 0;

  // Number of direct children.
  virtual int Children() const = 0;
  // First child, or null when there is none.
  virtual std::shared_ptr<Node> Child() const = 0;
  virtual std::shared_ptr<Node> FirstSibling() const = 0;
  virtual std::shared_ptr<Node> LastSibling() const = 0;
  // The next sibling, or null after the last one.
  virtual std::shared_ptr<Node> Next() const = 0;
  // The parent, or null for a top-level node.
  virtual std::shared_ptr<Node> Parent() const = 0;
  // The 1-based index in the tree's node collection.
  virtual int Index() const = 0;
  // Texts of the node and its ancestors, from the top, joined by the tree's path separator.
  virtual std::string FullPath() const = 0;
  // Scrolls the node into view (expanding its ancestors).
  virtual void EnsureVisible() = 0;
};

class NIMBO_API TreeView {
 public:
  virtual ~TreeView() = default;
  TreeView() = default;
  TreeView(const TreeView&) = delete;
  TreeView& operator=(const TreeView&) = delete;

  // 0 automatic, 1 manual: whether a click on a label starts editing it.
  virtual void LabelEdit(int value) = 0;
  // Keep children (and top-level nodes) sorted by text.
  virtual void Sorted(bool value) = 0;
  virtual void Enabled(bool value) = 0;
  virtual void MousePointer(int value) = 0;
  // Redraws the tree.
  virtual void Refresh() = 0;
  // Separator FullPath puts between node texts ("\" unless the host changes it).
  virtual std::string PathSeparator() const = 0;

  // Nodes collection.
  virtual void Clear() = 0;
  // Adds a top-level node with no key, text or image.
  virtual std::shared_ptr<Node> Add() = 0;
  // Adds a node related to `relative`; kChild makes it a child of `relative`, the others a
  // sibling. Raises 35602 for a duplicate key, 91 for a removed relative.
  virtual std::shared_ptr<Node> Add(const std::shared_ptr<Node>& relative,
                                    Relationship relationship, const std::string& key,
                                    const std::string& text, const std::string& image) = 0;
  virtual int Count() const = 0;
  // The node at a 1-based index; raises 9 out of range.
  virtual std::shared_ptr<Node> Item(int index) const = 0;
  // The node with a key; raises 9 when there is none.
  virtual std::shared_ptr<Node> Item(const std::string& key) const = 0;
  // Removes the node at a 1-based index with its whole subtree; raises 9 out of range.
  virtual void Remove(int index) = 0;

  // The selected node; raises 91 when none is selected.
  virtual std::shared_ptr<Node> SelectedItem() const = 0;
};

}  // namespace nimbo

#endif  // NIMBO_TREE_VIEW_H_
