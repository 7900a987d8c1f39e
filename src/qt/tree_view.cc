// nimbo::qt::TreeView: a nimbo::MemoryTreeView holds the nodes; a QTreeWidget shows them. Every
// model node has one widget item (NodeItem), which holds the model's handle on the node, so that
// a model node and its item find each other in O(1) whatever the tree's size. The wrappers handed
// to the component (QtNode) are made when asked for and kept, weakly, on their item: the same
// node gives the same wrapper for as long as anyone holds it.
//
// The adapter changes the widget "quietly": while it does, the widget's own signals (current
// item changed, expanded, collapsed) are not taken for the user's doing.
#include "nimbo/qt/tree_view.h"

#include <QBrush>
#include <QColor>
#include <QCursor>
#include <QList>
#include <QMetaObject>
#include <QTreeWidget>
#include <QTreeWidgetItem>
#include <cstdint>
#include <utility>
#include <vector>

#include "nimbo/error.h"

namespace nimbo::qt {
namespace {

class QtNode;

// The widget item of one model node.
class NodeItem final : public QTreeWidgetItem {
 public:
  static constexpr int kType = QTreeWidgetItem::UserType + 0x4e42;
  explicit NodeItem(std::shared_ptr<Node> model_node)
      : QTreeWidgetItem(kType), model(std::move(model_node)) {
    setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);  // never editable
  }

  std::shared_ptr<Node> model;    // the model's handle on the node
  std::weak_ptr<QtNode> wrapper;  // the wrapper handed out, while someone holds it
};

NodeItem* AsNodeItem(QTreeWidgetItem* item) {
  return item != nullptr && item->type() == NodeItem::kType ? static_cast<NodeItem*>(item)
                                                            : nullptr;
}

QColor ColorOf(std::int32_t bgr) {
  const auto value = static_cast<std::uint32_t>(bgr);
  return QColor(static_cast<int>(value & 0xFFu), static_cast<int>((value >> 8) & 0xFFu),
                static_cast<int>((value >> 16) & 0xFFu));
}

QString Q(const std::string& text) { return QString::fromStdString(text); }

// What the tree view and its wrappers share. The wrappers hold it, so it outlives the tree view;
// once the view is gone (Shutdown) the model is gone too and every wrapper raises 91.
class TreeCore : public std::enable_shared_from_this<TreeCore> {
 public:
  TreeCore(TreeView* owner, QTreeWidget* widget)
      : owner_(owner), widget_(widget), model_(std::make_unique<MemoryTreeView>()) {}

  // Quiet while alive: the adapter's own changes to the widget.
  class Quiet {
   public:
    explicit Quiet(TreeCore& core) : core_(core) { ++core_.quiet_; }
    ~Quiet() { --core_.quiet_; }
    Quiet(const Quiet&) = delete;
    Quiet& operator=(const Quiet&) = delete;

   private:
    TreeCore& core_;
  };

  void Connect() {
    connections_.push_back(QObject::connect(
        widget_, &QTreeWidget::currentItemChanged, owner_,
        [this](QTreeWidgetItem* current, QTreeWidgetItem*) { UserSelected(current); }));
    connections_.push_back(
        QObject::connect(widget_, &QTreeWidget::itemExpanded, owner_,
                         [this](QTreeWidgetItem* item) { UserExpanded(item, true); }));
    connections_.push_back(
        QObject::connect(widget_, &QTreeWidget::itemCollapsed, owner_,
                         [this](QTreeWidgetItem* item) { UserExpanded(item, false); }));
    // A widget destroyed first takes its items along; the model stays usable.
    connections_.push_back(QObject::connect(widget_, &QObject::destroyed, owner_, [this] {
      items_.clear();
      widget_ = nullptr;
    }));
  }

  // The tree view is going: its nodes are cut loose (91), the widget emptied.
  void Shutdown() {
    for (const auto& connection : connections_) QObject::disconnect(connection);
    connections_.clear();
    Quiet quiet(*this);
    items_.clear();
    if (widget_ != nullptr) widget_->clear();
    model_.reset();
    owner_ = nullptr;
  }

  MemoryTreeView& model() const {
    if (!model_) throw Error(err::kObjectNotSet);
    return *model_;
  }
  QTreeWidget* widget() const { return widget_; }

  NodeItem* ItemOf(const Node* model_node) const {
    if (model_node == nullptr) return nullptr;
    const auto found = items_.find(model_node);
    return found == items_.end() ? nullptr : found->second;
  }

  std::shared_ptr<Node> Wrap(const std::shared_ptr<Node>& model_node);

  // The model's node behind a node handed in: a wrapper's model node (of whatever tree), or the
  // node itself, which the model then refuses (5) unless it is its own.
  static std::shared_ptr<Node> Unwrap(const std::shared_ptr<Node>& node);

  // Makes the widget item of a node the model has just added, in its place.
  void Insert(const std::shared_ptr<Node>& model_node) {
    if (widget_ == nullptr) return;
    auto item = std::make_unique<NodeItem>(model_node);
    Decorate(*item);
    NodeItem* raw = item.get();
    items_.emplace(model_node.get(), raw);
    if (!Place(raw)) {
      items_.erase(model_node.get());
      return;  // cannot happen: every model node has its item
    }
    item.release();  // the widget owns it
  }

  // Puts an item (out of the widget) where its node is in the model: before the item of the
  // node's next sibling, or last among its parent's children. O(1) for a node added last.
  bool Place(NodeItem* item) {
    const auto parent_node = item->model->Parent();
    QTreeWidgetItem* parent = parent_node ? static_cast<QTreeWidgetItem*>(ItemOf(parent_node.get()))
                                          : widget_->invisibleRootItem();
    if (parent == nullptr) return false;
    const auto next = item->model->Next();
    NodeItem* next_item = next ? ItemOf(next.get()) : nullptr;
    Quiet quiet(*this);
    const int at = next_item != nullptr ? parent->indexOfChild(next_item) : -1;
    if (at >= 0) {
      parent->insertChild(at, item);
    } else {
      parent->addChild(item);
    }
    // An expanded node shows the children it gets.
    if (parent_node && parent_node->Expanded() && !parent->isExpanded()) parent->setExpanded(true);
    return true;
  }

  // A sorted tree moves a node whose text changed: its item follows.
  void Replace(NodeItem* item) {
    if (widget_ == nullptr) return;
    QTreeWidgetItem* parent =
        item->parent() != nullptr ? item->parent() : widget_->invisibleRootItem();
    const auto next = item->model->Next();
    const int at = parent->indexOfChild(item);
    QTreeWidgetItem* next_item = next ? ItemOf(next.get()) : nullptr;
    if (next_item == parent->child(at + 1)) return;  // already in place
    Quiet quiet(*this);
    parent->takeChild(at);
    Place(item);
    RestoreExpansion(item);
    SyncSelection();
  }

  // An item taken out and put back has lost its expansion and that of its subtree.
  void RestoreExpansion(QTreeWidgetItem* top) {
    Quiet quiet(*this);
    std::vector<QTreeWidgetItem*> stack{top};
    while (!stack.empty()) {
      QTreeWidgetItem* item = stack.back();
      stack.pop_back();
      if (NodeItem* node_item = AsNodeItem(item)) {
        const bool expanded = node_item->model->Expanded();
        if (item->isExpanded() != expanded) item->setExpanded(expanded);
      }
      for (int i = 0, n = item->childCount(); i < n; ++i) stack.push_back(item->child(i));
    }
  }

  // The item's subtree leaves the map (the model has removed the nodes).
  void Forget(QTreeWidgetItem* item) {
    std::vector<QTreeWidgetItem*> stack{item};
    while (!stack.empty()) {
      QTreeWidgetItem* top = stack.back();
      stack.pop_back();
      if (NodeItem* node_item = AsNodeItem(top)) items_.erase(node_item->model.get());
      for (int i = 0, n = top->childCount(); i < n; ++i) stack.push_back(top->child(i));
    }
  }

  void Remove(int index) {
    auto& model = this->model();
    const auto node = model.Item(index);  // 9 out of range
    NodeItem* item = ItemOf(node.get());
    model.Remove(index);
    if (item != nullptr) {
      Forget(item);
      Quiet quiet(*this);
      delete item;
    }
    SyncSelection();
  }

  void Clear() {
    model().Clear();
    items_.clear();
    if (widget_ != nullptr) {
      Quiet quiet(*this);
      widget_->clear();
    }
  }

  // Text, colour and icon of an item from its node.
  void Decorate(NodeItem& item) const {
    const Node& node = *item.model;
    item.setText(0, Q(node.Text()));
    item.setForeground(0, QBrush(ColorOf(node.ForeColor())));
    item.setIcon(0, IconFor(node.Image()));
  }

  QIcon IconFor(const std::string& image) const {
    if (image.empty()) return {};
    return icons_.value(Q(image));
  }

  void SetIcons(QHash<QString, QIcon> icons) {
    icons_ = std::move(icons);
    for (const auto& [node, item] : items_) item->setIcon(0, IconFor(node->Image()));
  }

  // The widget's current item and selection follow the model's selected node.
  void SyncSelection() {
    if (widget_ == nullptr || !model_) return;
    const auto selected = model_->SelectedOrNull();
    NodeItem* item = selected ? ItemOf(selected.get()) : nullptr;
    Quiet quiet(*this);
    if (widget_->currentItem() != item) widget_->setCurrentItem(item);
    if (item != nullptr) {
      if (!item->isSelected()) item->setSelected(true);
    } else if (!widget_->selectedItems().isEmpty()) {
      widget_->clearSelection();
    }
  }

  void SetExpanded(NodeItem& item, bool expanded) {
    if (item.isExpanded() == expanded) return;
    Quiet quiet(*this);
    item.setExpanded(expanded);
  }

  void EnsureVisible(NodeItem& item) {
    if (widget_ == nullptr) return;
    {
      Quiet quiet(*this);
      for (QTreeWidgetItem* p = item.parent(); p != nullptr; p = p->parent()) {
        if (!p->isExpanded()) p->setExpanded(true);
      }
    }
    widget_->scrollToItem(&item);
  }

  // Sorted on: the widget takes the model's order, group by group.
  void Reorder() {
    if (widget_ == nullptr) return;
    Quiet quiet(*this);
    std::vector<std::shared_ptr<Node>> roots = model().Roots();
    std::shared_ptr<Node> first = roots.empty() ? nullptr : roots.front();
    Reorder(widget_->invisibleRootItem(), first);
    SyncSelection();
  }

  void Reorder(QTreeWidgetItem* parent, const std::shared_ptr<Node>& first_child) {
    QList<QTreeWidgetItem*> order;
    for (auto child = first_child; child; child = child->Next()) order.append(ItemOf(child.get()));
    bool same = order.size() == parent->childCount();
    for (int i = 0; same && i < order.size(); ++i) same = parent->child(i) == order[i];
    if (!same) {
      parent->takeChildren();
      parent->addChildren(order);
    }
    for (QTreeWidgetItem* child : order) {
      auto* item = static_cast<NodeItem*>(child);
      if (item->childCount() > 0) Reorder(item, item->model->Child());
    }
    if (!same) {
      for (QTreeWidgetItem* child : order) RestoreExpansion(child);
    }
  }

  void Enabled(bool value) {
    model().Enabled(value);
    if (widget_ != nullptr) widget_->setEnabled(value);
  }

  void MousePointer(int value) {
    model().MousePointer(value);
    if (widget_ == nullptr) return;
    switch (value) {
      case 11:  // vbHourglass
        widget_->setCursor(Qt::WaitCursor);
        break;
      case 13:  // vbArrowHourglass
        widget_->setCursor(Qt::BusyCursor);
        break;
      case 1:  // vbArrow
        widget_->setCursor(Qt::ArrowCursor);
        break;
      default:  // 0, vbDefault, and whatever the widget cannot show
        widget_->unsetCursor();
        break;
    }
  }

  void Refresh() {
    model().Refresh();
    if (widget_ != nullptr) widget_->viewport()->update();
  }

 private:
  void UserSelected(QTreeWidgetItem* current) {
    if (quiet_ > 0 || owner_ == nullptr) return;
    NodeItem* item = AsNodeItem(current);
    if (item == nullptr) return;
    try {
      item->model->Selected(true);
    } catch (const Error&) {
      return;  // a node of the tree's past
    }
    const auto node = Wrap(item->model);
    Q_EMIT owner_->nodeActivated(node);
  }

  void UserExpanded(QTreeWidgetItem* widget_item, bool expanded) {
    if (quiet_ > 0 || owner_ == nullptr) return;
    NodeItem* item = AsNodeItem(widget_item);
    if (item == nullptr) return;
    try {
      item->model->Expanded(expanded);
    } catch (const Error&) {
      return;
    }
    const auto node = Wrap(item->model);
    Q_EMIT owner_->nodeExpanded(node, expanded);
  }

  TreeView* owner_;
  QTreeWidget* widget_;
  std::unique_ptr<MemoryTreeView> model_;
  std::unordered_map<const Node*, NodeItem*> items_;
  QHash<QString, QIcon> icons_;
  std::vector<QMetaObject::Connection> connections_;
  int quiet_ = 0;
};

// A node as the component holds it: the model's node, with every change shown in the widget.
class QtNode final : public Node {
 public:
  QtNode(std::shared_ptr<TreeCore> core, std::shared_ptr<Node> model_node)
      : core_(std::move(core)), model_(std::move(model_node)) {}

  const std::shared_ptr<Node>& model() const { return model_; }
  const TreeCore* core() const { return core_.get(); }

  std::string Tag() const override { return model_->Tag(); }
  void Tag(const std::string& value) override { model_->Tag(value); }
  std::string Text() const override { return model_->Text(); }
  void Text(const std::string& value) override {
    model_->Text(value);
    if (NodeItem* item = Item()) {
      item->setText(0, Q(value));
      if (core_->model().Sorted()) core_->Replace(item);
    }
  }
  std::string Key() const override { return model_->Key(); }
  void Key(const std::string& value) override { model_->Key(value); }
  std::int32_t ForeColor() const override { return model_->ForeColor(); }
  void ForeColor(std::int32_t value) override {
    model_->ForeColor(value);
    if (NodeItem* item = Item()) item->setForeground(0, QBrush(ColorOf(value)));
  }
  std::string Image() const override { return model_->Image(); }
  void Image(const std::string& value) override {
    model_->Image(value);
    if (NodeItem* item = Item()) item->setIcon(0, core_->IconFor(value));
  }
  bool Expanded() const override { return model_->Expanded(); }
  void Expanded(bool value) override {
    model_->Expanded(value);
    if (NodeItem* item = Item()) core_->SetExpanded(*item, value);
  }
  bool Selected() const override { return model_->Selected(); }
  void Selected(bool value) override {
    model_->Selected(value);
    core_->SyncSelection();
  }
  int Children() const override { return model_->Children(); }
  std::shared_ptr<Node> Child() const override { return core_->Wrap(model_->Child()); }
  std::shared_ptr<Node> FirstSibling() const override {
    return core_->Wrap(model_->FirstSibling());
  }
  std::shared_ptr<Node> LastSibling() const override { return core_->Wrap(model_->LastSibling()); }
  std::shared_ptr<Node> Next() const override { return core_->Wrap(model_->Next()); }
  std::shared_ptr<Node> Parent() const override { return core_->Wrap(model_->Parent()); }
  int Index() const override { return model_->Index(); }
  std::string FullPath() const override { return model_->FullPath(); }
  void EnsureVisible() override {
    model_->EnsureVisible();
    if (NodeItem* item = Item()) core_->EnsureVisible(*item);
  }

 private:
  NodeItem* Item() const { return core_->ItemOf(model_.get()); }

  std::shared_ptr<TreeCore> core_;
  std::shared_ptr<Node> model_;
};

std::shared_ptr<Node> TreeCore::Wrap(const std::shared_ptr<Node>& model_node) {
  if (!model_node) return nullptr;
  NodeItem* item = ItemOf(model_node.get());
  if (item == nullptr) return std::make_shared<QtNode>(shared_from_this(), model_node);
  if (auto wrapper = item->wrapper.lock()) return wrapper;
  auto wrapper = std::make_shared<QtNode>(shared_from_this(), model_node);
  item->wrapper = wrapper;
  return wrapper;
}

std::shared_ptr<Node> TreeCore::Unwrap(const std::shared_ptr<Node>& node) {
  if (const auto* wrapper = dynamic_cast<const QtNode*>(node.get())) return wrapper->model();
  return node;
}

}  // namespace

class TreeView::Impl {
 public:
  std::shared_ptr<TreeCore> core;
};

TreeView::TreeView(QTreeWidget* widget, QObject* parent)
    : QObject(parent), impl_(std::make_unique<Impl>()) {
  if (widget == nullptr) throw Error::WithDetail(err::kInvalidCall, "No tree widget");
  impl_->core = std::make_shared<TreeCore>(this, widget);
  widget->clear();
  widget->setColumnCount(1);
  widget->setHeaderHidden(true);
  widget->setSelectionMode(QAbstractItemView::SingleSelection);
  widget->setSelectionBehavior(QAbstractItemView::SelectRows);
  widget->setEditTriggers(QAbstractItemView::NoEditTriggers);
  widget->setSortingEnabled(false);
  widget->setUniformRowHeights(true);  // a list node of 100,000 rows stays quick
  widget->setRootIsDecorated(true);
  impl_->core->Connect();
}

TreeView::~TreeView() { impl_->core->Shutdown(); }

void TreeView::LabelEdit(int value) { impl_->core->model().LabelEdit(value); }

void TreeView::Sorted(bool value) {
  auto& core = *impl_->core;
  core.model().Sorted(value);
  if (value) core.Reorder();
}

void TreeView::Enabled(bool value) { impl_->core->Enabled(value); }
void TreeView::MousePointer(int value) { impl_->core->MousePointer(value); }
void TreeView::Refresh() { impl_->core->Refresh(); }
std::string TreeView::PathSeparator() const { return impl_->core->model().PathSeparator(); }
void TreeView::PathSeparator(const std::string& separator) {
  impl_->core->model().PathSeparator(separator);
}

void TreeView::Clear() { impl_->core->Clear(); }

std::shared_ptr<Node> TreeView::Add() {
  auto& core = *impl_->core;
  const auto node = core.model().Add();
  core.Insert(node);
  return core.Wrap(node);
}

std::shared_ptr<Node> TreeView::Add(const std::shared_ptr<Node>& relative,
                                    Relationship relationship, const std::string& key,
                                    const std::string& text, const std::string& image) {
  auto& core = *impl_->core;
  const auto node = core.model().Add(TreeCore::Unwrap(relative), relationship, key, text, image);
  core.Insert(node);
  return core.Wrap(node);
}

int TreeView::Count() const { return impl_->core->model().Count(); }

std::shared_ptr<Node> TreeView::Item(int index) const {
  auto& core = *impl_->core;
  return core.Wrap(core.model().Item(index));
}

std::shared_ptr<Node> TreeView::Item(const std::string& key) const {
  auto& core = *impl_->core;
  return core.Wrap(core.model().Item(key));
}

void TreeView::Remove(int index) { impl_->core->Remove(index); }

std::shared_ptr<Node> TreeView::SelectedItem() const {
  auto& core = *impl_->core;
  return core.Wrap(core.model().SelectedItem());
}

std::shared_ptr<Node> TreeView::SelectedOrNull() const {
  auto& core = *impl_->core;
  return core.Wrap(core.model().SelectedOrNull());
}

void TreeView::SetIcons(QHash<QString, QIcon> icons) { impl_->core->SetIcons(std::move(icons)); }

const MemoryTreeView& TreeView::model() const { return impl_->core->model(); }

QTreeWidget* TreeView::widget() const { return impl_->core->widget(); }

std::shared_ptr<Node> TreeView::NodeFor(QTreeWidgetItem* item) const {
  auto& core = *impl_->core;
  NodeItem* node_item = AsNodeItem(item);
  if (node_item == nullptr || core.ItemOf(node_item->model.get()) != node_item) return nullptr;
  return core.Wrap(node_item->model);
}

QTreeWidgetItem* TreeView::ItemFor(const std::shared_ptr<Node>& node) const {
  if (!node) return nullptr;
  return impl_->core->ItemOf(TreeCore::Unwrap(node).get());
}

}  // namespace nimbo::qt
