// nimbo::qt::TreeView: the in-process tree view's node semantics (the cases of
// tests/platform/memory_tree_view_test.cc that a widget can take), and the widget mirroring the
// model after every operation; the user's selection and expansion reach the model and the host's
// signals, the component's own do not raise them.
#include "nimbo/qt/tree_view.h"

#include <QPixmap>
#include <QSignalSpy>
#include <QTreeWidget>
#include <QtTest>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "nimbo/error.h"
#include "qt_test_support.h"
#include "testing/tree_shape.h"

using nimbo::err::kInvalidCall;
using nimbo::err::kKeyNotUnique;
using nimbo::err::kObjectNotSet;
using nimbo::err::kSubscriptOutOfRange;
using nimbo::qt_testing::ErrorOf;
using NodePtr = std::shared_ptr<nimbo::Node>;
using nimbo::Relationship;

namespace {


void ItemShape(const QTreeWidgetItem* parent, std::string& out) {
  for (int i = 0; i < parent->childCount(); ++i) {
    if (i > 0) out += ",";
    const QTreeWidgetItem* item = parent->child(i);
    out += item->text(0).toStdString();
    if (item->childCount() > 0) {
      out += "(";
      ItemShape(item, out);
      out += ")";
    }
  }
}

// The widget in display order, the same way.
std::string WidgetShape(const QTreeWidget& widget) {
  std::string out;
  ItemShape(widget.invisibleRootItem(), out);
  return out;
}

QColor ColorOf(std::int32_t bgr) {
  return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

// Every item shows its node: text, colour, expansion, and the current item is the selected node.
// Returns the first difference, or "" when there is none.
std::string Mismatch(const nimbo::qt::TreeView& view) {
  const QTreeWidget& widget = *view.widget();
  if (nimbo::testing::TreeShape(view.model()) != WidgetShape(widget)) {
    return "shape: model " + nimbo::testing::TreeShape(view.model()) + ", widget " + WidgetShape(widget);
  }
  std::string problem;
  int items = 0;
  std::function<void(QTreeWidgetItem*)> check = [&](QTreeWidgetItem* item) {
    for (int i = 0; i < item->childCount() && problem.empty(); ++i) {
      QTreeWidgetItem* child = item->child(i);
      ++items;
      const NodePtr node = view.NodeFor(child);
      if (!node) {
        problem = "an item of no node: " + child->text(0).toStdString();
        return;
      }
      if (view.ItemFor(node) != child) problem = "ItemFor does not give the item back";
      if (child->foreground(0).color() != ColorOf(node->ForeColor())) {
        problem = "colour of " + node->Text();
      }
      if (child->childCount() > 0 && child->isExpanded() != node->Expanded()) {
        problem = "expansion of " + node->Text();
      }
      if (child->flags() & Qt::ItemIsEditable) problem = "editable: " + node->Text();
      check(child);
    }
  };
  check(widget.invisibleRootItem());
  if (!problem.empty()) return problem;
  if (items != view.Count()) return "item count " + std::to_string(items);
  const NodePtr selected = view.SelectedOrNull();
  if (widget.currentItem() != (selected ? view.ItemFor(selected) : nullptr)) {
    return "current item";
  }
  return "";
}

#define EXPECT_MIRRORED(view) QCOMPARE(QString::fromStdString(Mismatch(view)), QString())

NodePtr AddChild(nimbo::TreeView& tree, const NodePtr& parent, const std::string& text,
                 const std::string& key = "") {
  return tree.Add(parent, Relationship::kChild, key, text, "");
}

std::vector<std::string> ByIndex(const nimbo::TreeView& tree) {
  std::vector<std::string> texts;
  for (int i = 1; i <= tree.Count(); ++i) texts.push_back(tree.Item(i)->Text());
  return texts;
}

}  // namespace

class TreeViewTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void indexesFollowAdditionAndCloseUpAfterRemove() {
    QTreeWidget widget;
    nimbo::qt::TreeView tree(&widget);
    NodePtr root = tree.Add(nullptr, Relationship::kLast, "", "Root", "");
    NodePtr a = AddChild(tree, root, "a");
    AddChild(tree, root, "b");
    NodePtr a1 = AddChild(tree, a, "a1");
    NodePtr c = AddChild(tree, root, "c");
    AddChild(tree, a, "a2");
    AddChild(tree, a1, "a1x");
    QCOMPARE(ByIndex(tree), (std::vector<std::string>{"Root", "a", "b", "a1", "c", "a2", "a1x"}));
    QCOMPARE(nimbo::testing::TreeShape(tree.model()), std::string("Root(a(a1(a1x),a2),b,c)"));
    EXPECT_MIRRORED(tree);
    QCOMPARE(c->Index(), 5);

    tree.Remove(a->Index());  // the whole subtree
    QCOMPARE(tree.Count(), 3);
    QCOMPARE(ByIndex(tree), (std::vector<std::string>{"Root", "b", "c"}));
    QCOMPARE(c->Index(), 3);
    QCOMPARE(root->Children(), 2);
    EXPECT_MIRRORED(tree);
    QCOMPARE(widget.topLevelItem(0)->childCount(), 2);

    NodePtr d = AddChild(tree, root, "d");
    QCOMPARE(d->Index(), 4);
    EXPECT_MIRRORED(tree);
    tree.Clear();
    QCOMPARE(tree.Count(), 0);
    QCOMPARE(widget.topLevelItemCount(), 0);
    QCOMPARE(ErrorOf([&] { d->Text(); }), kObjectNotSet);
  }

  void indexOutOfRangeRaises9() {
    QTreeWidget widget;
    nimbo::qt::TreeView tree(&widget);
    tree.Add();
    tree.Add();
    QCOMPARE(ErrorOf([&] { tree.Item(0); }), kSubscriptOutOfRange);
    QCOMPARE(ErrorOf([&] { tree.Item(3); }), kSubscriptOutOfRange);
    QCOMPARE(ErrorOf([&] { tree.Remove(3); }), kSubscriptOutOfRange);
    QCOMPARE(ErrorOf([&] { tree.Remove(0); }), kSubscriptOutOfRange);
    QCOMPARE(tree.Count(), 2);
    EXPECT_MIRRORED(tree);
  }

  void keysAreUniqueExceptTheEmptyKey() {
    QTreeWidget widget;
    nimbo::qt::TreeView tree(&widget);
    NodePtr root = tree.Add();
    NodePtr x = tree.Add(root, Relationship::kChild, "0000000012F", "x", "group");
    AddChild(tree, root, "no key");
    AddChild(tree, root, "no key either");
    QCOMPARE(tree.Item("0000000012F"), x);  // the same wrapper
    QCOMPARE(x->Image(), std::string("group"));
    QCOMPARE(ErrorOf([&] { tree.Add(root, Relationship::kChild, "0000000012F", "y", ""); }),
             kKeyNotUnique);
    QCOMPARE(tree.Count(), 4);
    EXPECT_MIRRORED(tree);
    QCOMPARE(ErrorOf([&] { tree.Item("0000000012f"); }), kSubscriptOutOfRange);
    QCOMPARE(ErrorOf([&] { tree.Item(""); }), kSubscriptOutOfRange);
    NodePtr other = AddChild(tree, root, "other", "other");
    QCOMPARE(ErrorOf([&] { other->Key("0000000012F"); }), kKeyNotUnique);
    other->Key("renamed");
    QCOMPARE(tree.Item("renamed"), other);
    tree.Remove(x->Index());
    QCOMPARE(ErrorOf([&] { tree.Item("0000000012F"); }), kSubscriptOutOfRange);
    tree.Add(root, Relationship::kChild, "0000000012F", "again", "");
    EXPECT_MIRRORED(tree);
  }

  void relationshipsPlaceNodesWhenUnsorted_data() {
    QTest::addColumn<QString>("relative");
    QTest::addColumn<int>("relationship");
    QTest::addColumn<QString>("shape");
    QTest::newRow("first sibling") << "b" << 0 << "R(N,a,b(b1),c),S";
    QTest::newRow("last sibling") << "b" << 1 << "R(a,b(b1),c,N),S";
    QTest::newRow("next sibling") << "b" << 2 << "R(a,b(b1),N,c),S";
    QTest::newRow("previous sibling") << "b" << 3 << "R(a,N,b(b1),c),S";
    QTest::newRow("child") << "b" << 4 << "R(a,b(b1,N),c),S";
    QTest::newRow("previous of a top-level node") << "S" << 3 << "R(a,b(b1),c),N,S";
    QTest::newRow("first top-level") << "S" << 0 << "N,R(a,b(b1),c),S";
    QTest::newRow("no relative") << "" << 0 << "R(a,b(b1),c),S,N";
  }
  void relationshipsPlaceNodesWhenUnsorted() {
    QFETCH(QString, relative);
    QFETCH(int, relationship);
    QFETCH(QString, shape);
    QTreeWidget widget;
    nimbo::qt::TreeView tree(&widget);
    NodePtr r = tree.Add(nullptr, Relationship::kLast, "", "R", "");
    NodePtr s = tree.Add(nullptr, Relationship::kLast, "", "S", "");
    AddChild(tree, r, "a");
    NodePtr b = AddChild(tree, r, "b");
    AddChild(tree, r, "c");
    AddChild(tree, b, "b1");
    NodePtr rel = relative == "b" ? b : relative == "S" ? s : nullptr;
    NodePtr added = tree.Add(rel, static_cast<Relationship>(relationship), "", "N", "");
    QCOMPARE(QString::fromStdString(nimbo::testing::TreeShape(tree.model())), shape);
    QCOMPARE(added->Index(), 7);
    EXPECT_MIRRORED(tree);
  }

  void sortedKeepsSiblingsInTextOrderIgnoringCase() {
    QTreeWidget widget;
    nimbo::qt::TreeView tree(&widget);
    tree.Sorted(true);
    NodePtr root = tree.Add(nullptr, Relationship::kLast, "", "Data Browser", "Net");
    for (const char* text : {"pear", "Apple", "banana", "apple", "Banana", "cherry"}) {
      AddChild(tree, root, text);
    }
    QCOMPARE(WidgetShape(widget),
             std::string("Data Browser(Apple,apple,banana,Banana,cherry,pear)"));
    NodePtr cherry = root->Child()->Next()->Next()->Next()->Next();
    QCOMPARE(cherry->Text(), std::string("cherry"));
    tree.Add(cherry, Relationship::kFirst, "", "zebra", "");
    tree.Add(cherry, Relationship::kPrevious, "", "avocado", "");
    QCOMPARE(WidgetShape(widget),
             std::string("Data Browser(Apple,apple,avocado,banana,Banana,cherry,pear,zebra)"));
    tree.Add(nullptr, Relationship::kLast, "", "Archive", "");
    root->Expanded(true);
    cherry->Selected(true);
    cherry->Text("Aardvark");  // moves in a sorted tree, item and all
    QCOMPARE(
        WidgetShape(widget),
        std::string("Archive,Data Browser(Aardvark,Apple,apple,avocado,banana,Banana,pear,zebra)"));
    EXPECT_MIRRORED(tree);
    QCOMPARE(root->Child()->Text(), std::string("Aardvark"));
    QCOMPARE(widget.currentItem()->text(0), QString("Aardvark"));
  }

  void turningSortedOnResortsTheWidget() {
    QTreeWidget widget;
    nimbo::qt::TreeView tree(&widget);
    NodePtr root = tree.Add(nullptr, Relationship::kLast, "", "r", "");
    tree.Add(root, Relationship::kFirst, "", "Q", "");
    NodePtr c = AddChild(tree, root, "c");
    AddChild(tree, root, "B");
    AddChild(tree, root, "a");
    AddChild(tree, root, "b");
    NodePtr z = AddChild(tree, c, "z");
    AddChild(tree, c, "y");
    root->Expanded(true);
    c->Expanded(true);
    z->Selected(true);
    QCOMPARE(WidgetShape(widget), std::string("Q,r(c(z,y),B,a,b)"));
    EXPECT_MIRRORED(tree);
    QSignalSpy activated(&tree, &nimbo::qt::TreeView::nodeActivated);
    tree.Sorted(true);
    QCOMPARE(WidgetShape(widget), std::string("Q,r(a,B,b,c(y,z))"));
    EXPECT_MIRRORED(tree);  // expansion and the current item survive the move
    QVERIFY(tree.ItemFor(c)->isExpanded());
    QCOMPARE(widget.currentItem(), tree.ItemFor(z));
    QCOMPARE(ByIndex(tree), (std::vector<std::string>{"r", "Q", "c", "B", "a", "b", "z", "y"}));
    tree.Sorted(false);
    tree.Add(root->Child(), Relationship::kFirst, "", "x", "");
    QCOMPARE(WidgetShape(widget), std::string("Q,r(x,a,B,b,c(y,z))"));
    EXPECT_MIRRORED(tree);
    QCOMPARE(activated.count(), 0);
  }

  void fullPathJoinsTextsWithTheSeparator() {
    QTreeWidget widget;
    nimbo::qt::TreeView tree(&widget);
    NodePtr root = tree.Add(nullptr, Relationship::kLast, "", "Data Browser", "");
    NodePtr sales = AddChild(tree, root, "Sales");
    NodePtr east = AddChild(tree, sales, "East");
    NodePtr blank = AddChild(tree, east, "");
    QCOMPARE(tree.PathSeparator(), std::string("\\"));
    QCOMPARE(root->FullPath(), std::string("Data Browser"));
    QCOMPARE(east->FullPath(), std::string("Data Browser\\Sales\\East"));
    QCOMPARE(blank->FullPath(), std::string("Data Browser\\Sales\\East\\"));
    tree.PathSeparator(" / ");
    QCOMPARE(east->FullPath(), std::string("Data Browser / Sales / East"));
  }

  void siblingsParentsAndTheSameWrapper() {
    QTreeWidget widget;
    nimbo::qt::TreeView tree(&widget);
    NodePtr root = tree.Add();
    NodePtr a = AddChild(tree, root, "a");
    NodePtr b = AddChild(tree, root, "b");
    NodePtr c = AddChild(tree, root, "c");
    QCOMPARE(root->Children(), 3);
    QCOMPARE(root->Child(), a);
    QCOMPARE(root->Parent(), NodePtr());
    QCOMPARE(a->Next(), b);
    QCOMPARE(c->FirstSibling(), a);
    QCOMPARE(a->LastSibling(), c);
    QCOMPARE(b->Parent(), root);
    QCOMPARE(tree.Item(3), b);
    QCOMPARE(tree.NodeFor(tree.ItemFor(b)), b);
    tree.Remove(a->Index());
    QCOMPARE(root->Child(), b);
    EXPECT_MIRRORED(tree);
  }

  void removedNodesRaise91() {
    QTreeWidget widget;
    auto tree = std::make_unique<nimbo::qt::TreeView>(&widget);
    NodePtr root = tree->Add();
    NodePtr child = AddChild(*tree, root, "child", "k");
    NodePtr grandchild = AddChild(*tree, child, "grandchild");
    NodePtr survivor = AddChild(*tree, root, "survivor");
    grandchild->Selected(true);
    tree->Remove(child->Index());
    EXPECT_MIRRORED(*tree);
    QCOMPARE(widget.currentItem(), nullptr);
    const std::vector<std::function<void(nimbo::Node&)>> members = {
        [](nimbo::Node& n) { n.Tag(); },           [](nimbo::Node& n) { n.Tag("x"); },
        [](nimbo::Node& n) { n.Text(); },          [](nimbo::Node& n) { n.Text("x"); },
        [](nimbo::Node& n) { n.Key(); },           [](nimbo::Node& n) { n.Key("y"); },
        [](nimbo::Node& n) { n.ForeColor(); },     [](nimbo::Node& n) { n.ForeColor(1); },
        [](nimbo::Node& n) { n.Image(); },         [](nimbo::Node& n) { n.Image("x"); },
        [](nimbo::Node& n) { n.Expanded(); },      [](nimbo::Node& n) { n.Expanded(true); },
        [](nimbo::Node& n) { n.Selected(); },      [](nimbo::Node& n) { n.Selected(true); },
        [](nimbo::Node& n) { n.Children(); },      [](nimbo::Node& n) { n.Child(); },
        [](nimbo::Node& n) { n.FirstSibling(); },  [](nimbo::Node& n) { n.LastSibling(); },
        [](nimbo::Node& n) { n.Next(); },          [](nimbo::Node& n) { n.Parent(); },
        [](nimbo::Node& n) { n.Index(); },         [](nimbo::Node& n) { n.FullPath(); },
        [](nimbo::Node& n) { n.EnsureVisible(); },
    };
    for (const NodePtr& stale : {child, grandchild}) {
      for (const auto& member : members) QCOMPARE(ErrorOf([&] { member(*stale); }), kObjectNotSet);
      QCOMPARE(ErrorOf([&] { tree->Add(stale, Relationship::kChild, "", "", ""); }), kObjectNotSet);
      QCOMPARE(tree->ItemFor(stale), nullptr);
    }
    QCOMPARE(ErrorOf([&] { tree->SelectedItem(); }), kObjectNotSet);
    tree->Clear();
    QCOMPARE(ErrorOf([&] { root->Text(); }), kObjectNotSet);
    NodePtr last = tree->Add();
    tree.reset();  // the adapter goes; its nodes stay, removed
    QCOMPARE(ErrorOf([&] { last->Index(); }), kObjectNotSet);
    QCOMPARE(ErrorOf([&] { survivor->Next(); }), kObjectNotSet);
    QCOMPARE(widget.topLevelItemCount(), 0);
  }

  void foreignRelativesAndUnknownRelationshipsRaise5() {
    QTreeWidget widget;
    QTreeWidget other_widget;
    nimbo::qt::TreeView tree(&widget);
    nimbo::qt::TreeView other(&other_widget);
    nimbo::MemoryTreeView memory;
    NodePtr root = tree.Add();
    NodePtr foreign = other.Add();
    NodePtr in_memory = memory.Add();
    QCOMPARE(ErrorOf([&] { tree.Add(foreign, Relationship::kChild, "", "", ""); }), kInvalidCall);
    QCOMPARE(ErrorOf([&] { tree.Add(in_memory, Relationship::kChild, "", "", ""); }), kInvalidCall);
    QCOMPARE(ErrorOf([&] { tree.Add(root, static_cast<Relationship>(7), "", "", ""); }),
             kInvalidCall);
    QCOMPARE(tree.Count(), 1);
    QCOMPARE(other.Count(), 1);
    QCOMPARE(tree.ItemFor(foreign), nullptr);
    QCOMPARE(tree.NodeFor(other.ItemFor(foreign)), NodePtr());
    EXPECT_MIRRORED(tree);
    EXPECT_MIRRORED(other);
  }

  void textColourAndIconFollowTheNode() {
    QTreeWidget widget;
    nimbo::qt::TreeView tree(&widget);
    QPixmap red(16, 16);
    red.fill(Qt::red);
    QPixmap blue(16, 16);
    blue.fill(Qt::blue);
    const QIcon net(red);
    const QIcon leaf(blue);
    tree.SetIcons({{"Net", net}});
    NodePtr root = tree.Add(nullptr, Relationship::kLast, "", "Data Browser", "Net");
    NodePtr a = tree.Add(root, Relationship::kChild, "", "a", "leaf");
    QTreeWidgetItem* root_item = tree.ItemFor(root);
    QTreeWidgetItem* a_item = tree.ItemFor(a);
    QCOMPARE(root_item->icon(0).cacheKey(), net.cacheKey());
    QVERIFY(a_item->icon(0).isNull());  // not in the set
    tree.SetIcons({{"Net", net}, {"leaf", leaf}});
    QCOMPARE(a_item->icon(0).cacheKey(), leaf.cacheKey());
    a->Image("Net");
    QCOMPARE(a_item->icon(0).cacheKey(), net.cacheKey());
    a->Image("");
    QVERIFY(a_item->icon(0).isNull());

    a->Text("renamed");
    QCOMPARE(a_item->text(0), QString("renamed"));
    a->ForeColor(0x0000FF);  // 0x00BBGGRR: red
    QCOMPARE(a_item->foreground(0).color(), QColor(255, 0, 0));
    a->ForeColor(0xFF0000);  // blue
    QCOMPARE(a_item->foreground(0).color(), QColor(0, 0, 255));
    a->Tag("00001F");
    QCOMPARE(a->Tag(), std::string("00001F"));
    QVERIFY(!(a_item->flags() & Qt::ItemIsEditable));
    QCOMPARE(widget.editTriggers(), QAbstractItemView::NoEditTriggers);
    tree.LabelEdit(0);
    QCOMPARE(tree.model().LabelEdit(), 0);
    EXPECT_MIRRORED(tree);
  }

  void expansionBothWays() {
    QTreeWidget widget;
    nimbo::qt::TreeView tree(&widget);
    QSignalSpy expanded(&tree, &nimbo::qt::TreeView::nodeExpanded);
    NodePtr root = tree.Add(nullptr, Relationship::kLast, "", "root", "");
    NodePtr a = AddChild(tree, root, "a");
    NodePtr a1 = AddChild(tree, a, "a1");
    NodePtr a11 = AddChild(tree, a1, "a11");
    root->Expanded(true);  // the component: the widget follows, no signal
    QVERIFY(tree.ItemFor(root)->isExpanded());
    QCOMPARE(expanded.count(), 0);
    root->Expanded(false);
    QVERIFY(!tree.ItemFor(root)->isExpanded());

    a11->EnsureVisible();  // expands the ancestors
    QVERIFY(tree.ItemFor(root)->isExpanded());
    QVERIFY(tree.ItemFor(a)->isExpanded());
    QVERIFY(tree.ItemFor(a1)->isExpanded());
    QCOMPARE(tree.model().LastMadeVisible(), tree.model().Item(4));
    QCOMPARE(expanded.count(), 0);
    EXPECT_MIRRORED(tree);

    // The user collapses and expands a row.
    tree.ItemFor(a)->setExpanded(false);
    QCOMPARE(expanded.count(), 1);
    QCOMPARE(expanded.at(0).at(0).value<NodePtr>(), a);
    QCOMPARE(expanded.at(0).at(1).toBool(), false);
    QVERIFY(!a->Expanded());
    tree.ItemFor(a)->setExpanded(true);
    QCOMPARE(expanded.count(), 2);
    QVERIFY(a->Expanded());

    // A node expanded before it has children shows them expanded.
    NodePtr b = AddChild(tree, root, "b");
    b->Expanded(true);
    AddChild(tree, b, "b1");
    QVERIFY(tree.ItemFor(b)->isExpanded());
    EXPECT_MIRRORED(tree);
  }

  void userSelectionSignalsAndComponentSelectionDoesNot() {
    QTreeWidget widget;
    nimbo::qt::TreeView tree(&widget);
    widget.resize(300, 400);
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    QSignalSpy activated(&tree, &nimbo::qt::TreeView::nodeActivated);
    NodePtr root = tree.Add(nullptr, Relationship::kLast, "", "Data Browser", "");
    NodePtr a = AddChild(tree, root, "a");
    NodePtr b = AddChild(tree, root, "b");
    root->Expanded(true);
    root->Selected(true);  // the component selects: the widget shows it, no signal
    QCOMPARE(widget.currentItem(), tree.ItemFor(root));
    QVERIFY(tree.ItemFor(root)->isSelected());
    QCOMPARE(activated.count(), 0);
    a->Selected(true);
    QCOMPARE(widget.currentItem(), tree.ItemFor(a));
    QVERIFY(!tree.ItemFor(root)->isSelected());
    QCOMPARE(activated.count(), 0);
    a->Selected(false);
    QCOMPARE(widget.currentItem(), nullptr);
    QCOMPARE(tree.SelectedOrNull(), NodePtr());
    QCOMPARE(activated.count(), 0);

    // The user clicks b.
    const QRect rect = widget.visualItemRect(tree.ItemFor(b));
    QTest::mouseClick(widget.viewport(), Qt::LeftButton, {}, rect.center());
    QCOMPARE(activated.count(), 1);
    QCOMPARE(activated.at(0).at(0).value<NodePtr>(), b);
    QCOMPARE(tree.SelectedItem(), b);
    QVERIFY(b->Selected());

    // ... and goes up with the keyboard.
    widget.setFocus();
    QTest::keyClick(&widget, Qt::Key_Up);
    QCOMPARE(activated.count(), 2);
    QCOMPARE(activated.at(1).at(0).value<NodePtr>(), a);
    QCOMPARE(tree.SelectedItem(), a);
    EXPECT_MIRRORED(tree);

    // Removing the selected node leaves none selected, silently.
    tree.Remove(a->Index());
    QCOMPARE(activated.count(), 2);
    QCOMPARE(tree.SelectedOrNull(), NodePtr());
    EXPECT_MIRRORED(tree);
  }

  // The host answers a click by changing the tree, as DisplayFor does (pruning the siblings'
  // children, filling the clicked node), inside the signal.
  void hostChangesTheTreeInsideTheSignal() {
    QTreeWidget widget;
    nimbo::qt::TreeView tree(&widget);
    widget.resize(300, 400);
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    NodePtr root = tree.Add(nullptr, Relationship::kLast, "", "root", "");
    std::vector<NodePtr> level;
    for (const char* text : {"a", "b", "c"}) {
      level.push_back(AddChild(tree, root, text));
      AddChild(tree, level.back(), std::string(text) + "0");
    }
    root->Expanded(true);
    for (auto& node : level) node->Expanded(true);
    int calls = 0;
    connect(&tree, &nimbo::qt::TreeView::nodeActivated, this, [&](const NodePtr& node) {
      ++calls;
      for (NodePtr sibling = node->FirstSibling(); sibling; sibling = sibling->Next()) {
        while (sibling->Children() > 0) tree.Remove(sibling->Child()->Index());
      }
      for (int i = 0; i < 3; ++i) AddChild(tree, node, node->Text() + std::to_string(i));
      node->Expanded(true);
      node->Selected(true);
    });
    const QRect rect = widget.visualItemRect(tree.ItemFor(level[2]));
    QTest::mouseClick(widget.viewport(), Qt::LeftButton, {}, rect.center());
    QCOMPARE(calls, 1);
    QCOMPARE(WidgetShape(widget), std::string("root(a,b,c(c0,c1,c2))"));
    QTest::keyClick(&widget, Qt::Key_Down);  // to c0
    QCOMPARE(calls, 2);
    QCOMPARE(tree.SelectedItem()->Text(), std::string("c0"));
    EXPECT_MIRRORED(tree);
  }

  void enabledMousePointerAndRefresh() {
    QTreeWidget widget;
    nimbo::qt::TreeView tree(&widget);
    tree.Enabled(false);
    QVERIFY(!widget.isEnabled());
    QVERIFY(!tree.model().Enabled());
    tree.Enabled(true);
    QVERIFY(widget.isEnabled());
    tree.MousePointer(11);
    QCOMPARE(widget.cursor().shape(), Qt::WaitCursor);
    QCOMPARE(tree.model().MousePointer(), 11);
    tree.MousePointer(0);
    QCOMPARE(widget.cursor().shape(), Qt::ArrowCursor);  // unset: the default again
    tree.Refresh();
    QCOMPARE(tree.model().RefreshCount(), 1);
  }

  // A list node of 100,000 records: added, shown and pruned one by one as the component does,
  // each step in time independent of the list's length.
  void aHundredThousandChildren() {
    QTreeWidget widget;
    nimbo::qt::TreeView tree(&widget);
    NodePtr root = tree.Add(nullptr, Relationship::kLast, "", "root", "");
    NodePtr list = AddChild(tree, root, "list");
    constexpr int kChildren = 100'000;
    for (int i = 0; i < kChildren; ++i) {
      tree.Add(list, Relationship::kChild, "", "record " + std::to_string(i), "");
    }
    list->Expanded(true);
    QCOMPARE(tree.ItemFor(list)->childCount(), kChildren);
    tree.Add(list->Child()->Next(), Relationship::kPrevious, "", "early", "");
    QCOMPARE(tree.ItemFor(list)->child(1)->text(0), QString("early"));
    while (list->Children() > 0) tree.Remove(list->Child()->Index());
    QCOMPARE(tree.ItemFor(list)->childCount(), 0);
    QCOMPARE(tree.Count(), 2);
  }
};

NIMBO_QT_TEST_MAIN(TreeViewTest)
#include "tree_view_test.moc"
