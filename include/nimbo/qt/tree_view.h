// nimbo::qt::TreeView: the component's tree view on a QTreeWidget the host owns.
//
// The node collection (indexes, keys, relationships, sorting, removal, selection, expansion,
// full paths and their errors) is kept in a nimbo::MemoryTreeView, so it behaves exactly like
// the in-process tree view; every change is mirrored into the widget at once. What the user
// does in the widget (selecting a row, expanding or collapsing one) is taken back into the
// model, and the host hears of it through the signals below.
//
// [X] Nodes with text, key, tag, foreground colour (0x00BBGGRR), image from the icon set
//     (SetIcons), expanded and selected state; Add with the five relationships; Remove of a
//     whole subtree; Clear; Sorted; EnsureVisible (expands the ancestors and scrolls).
// [X] Enabled and MousePointer (11: the hourglass) on the widget; Refresh repaints it.
// [ ] Label editing: LabelEdit is recorded, the widget's items are never editable.
//
// The widget must outlive the adapter; only the GUI thread calls it.
#ifndef NIMBO_QT_TREE_VIEW_H_
#define NIMBO_QT_TREE_VIEW_H_

#include <QHash>
#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>
#include <string>
#include <unordered_map>

#include "nimbo/memory_tree_view.h"
#include "nimbo/qt/export.h"
#include "nimbo/tree_view.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace nimbo::qt {

class NIMBO_QT_API TreeView : public QObject, public nimbo::TreeView {
  Q_OBJECT

 public:
  // Takes over the widget's contents: clears it and sets it up as a one-column tree.
  explicit TreeView(QTreeWidget* widget, QObject* parent = nullptr);
  ~TreeView() override;

  // nimbo::TreeView.
  void LabelEdit(int value) override;
  void Sorted(bool value) override;
  void Enabled(bool value) override;
  void MousePointer(int value) override;
  void Refresh() override;
  std::string PathSeparator() const override;
  void Clear() override;
  std::shared_ptr<Node> Add() override;
  std::shared_ptr<Node> Add(const std::shared_ptr<Node>& relative, Relationship relationship,
                            const std::string& key, const std::string& text,
                            const std::string& image) override;
  int Count() const override;
  std::shared_ptr<Node> Item(int index) const override;
  std::shared_ptr<Node> Item(const std::string& key) const override;
  void Remove(int index) override;
  std::shared_ptr<Node> SelectedItem() const override;

  // Host side.
  // The icons nodes show, by image key; a node whose key is not in the set shows none.
  // Replacing the set updates the nodes already shown.
  void SetIcons(QHash<QString, QIcon> icons);
  void PathSeparator(const std::string& separator);
  // The model the widget mirrors, for reading (the tree's JSON dump, tests).
  const MemoryTreeView& model() const;
  QTreeWidget* widget() const;
  // The node a widget item shows, or null for an item of no node of this tree.
  std::shared_ptr<Node> NodeFor(QTreeWidgetItem* item) const;
  // The widget item showing a node, or null when the node is not in this tree (or removed).
  QTreeWidgetItem* ItemFor(const std::shared_ptr<Node>& node) const;
  // The selected node, or null when none is selected.
  std::shared_ptr<Node> SelectedOrNull() const;

 Q_SIGNALS:
  // The user made a node the selected one (by mouse or keyboard); the model's selection has
  // followed when it is emitted. Not emitted when the component selects a node itself, nor when
  // the widget's current item moves because the adapter changed the widget (removal, Clear,
  // sorting). Emitted directly from the widget's signal: the host normally answers with
  // Nimbo::DisplayFor(node), which may change the tree at once.
  void nodeActivated(std::shared_ptr<nimbo::Node> node);
  // The user expanded or collapsed a node.
  void nodeExpanded(std::shared_ptr<nimbo::Node> node, bool expanded);

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace nimbo::qt

#endif  // NIMBO_QT_TREE_VIEW_H_
