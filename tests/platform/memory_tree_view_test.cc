// The memory tree view's node semantics as the navigation code relies on them: numbering and
// renumbering, keys, relationships, sorting, paths, sibling walks, selection and stale nodes.
#include "nimbo/memory_tree_view.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "nimbo/error.h"
#include "testing/tree_shape.h"

namespace nimbo {
namespace {

using NodePtr = std::shared_ptr<Node>;

// The error number a call raises, or 0 when it raises none.
int ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const Error& e) {
    return e.number();
  }
  return 0;
}


// Texts of Item(1) .. Item(Count()): the collection's numbering.
std::vector<std::string> ByIndex(const MemoryTreeView& tree) {
  std::vector<std::string> texts;
  for (int i = 1; i <= tree.Count(); ++i) texts.push_back(tree.Item(i)->Text());
  return texts;
}

NodePtr AddChild(MemoryTreeView& tree, const NodePtr& parent, const std::string& text,
                 const std::string& key = "") {
  return tree.Add(parent, Relationship::kChild, key, text, "");
}

TEST(MemoryTreeViewTest, IndexesFollowAdditionAndCloseUpAfterRemove) {
  MemoryTreeView tree;
  NodePtr root = tree.Add();
  root->Text("Root");
  NodePtr a = AddChild(tree, root, "a");
  NodePtr b = AddChild(tree, root, "b");
  NodePtr a1 = AddChild(tree, a, "a1");
  NodePtr c = AddChild(tree, root, "c");
  NodePtr a2 = AddChild(tree, a, "a2");
  NodePtr a1x = AddChild(tree, a1, "a1x");
  EXPECT_EQ(ByIndex(tree), (std::vector<std::string>{"Root", "a", "b", "a1", "c", "a2", "a1x"}));
  EXPECT_EQ(testing::TreeShape(tree), "Root(a(a1(a1x),a2),b,c)");
  EXPECT_EQ(c->Index(), 5);

  // Removing "a" takes a1, a2 and a1x with it; the nodes after close up.
  tree.Remove(a->Index());
  EXPECT_EQ(tree.Count(), 3);
  EXPECT_EQ(ByIndex(tree), (std::vector<std::string>{"Root", "b", "c"}));
  EXPECT_EQ(b->Index(), 2);
  EXPECT_EQ(c->Index(), 3);
  EXPECT_EQ(root->Children(), 2);
  EXPECT_EQ(testing::TreeShape(tree), "Root(b,c)");

  // New nodes are numbered after the survivors.
  NodePtr d = AddChild(tree, b, "d");
  EXPECT_EQ(d->Index(), 4);
  tree.Remove(1);
  EXPECT_EQ(tree.Count(), 0);
  EXPECT_EQ(testing::TreeShape(tree), "");
}

TEST(MemoryTreeViewTest, IndexOutOfRangeRaises9) {
  MemoryTreeView tree;
  tree.Add();
  tree.Add();
  for (int index : {-1, 0, 3, 1000}) {
    SCOPED_TRACE(index);
    EXPECT_EQ(ErrorOf([&] { tree.Item(index); }), err::kSubscriptOutOfRange);
    EXPECT_EQ(ErrorOf([&] { tree.Remove(index); }), err::kSubscriptOutOfRange);
  }
  EXPECT_EQ(tree.Count(), 2);
}

TEST(MemoryTreeViewTest, KeysAreUniqueExceptTheEmptyKey) {
  MemoryTreeView tree;
  NodePtr root = tree.Add();
  NodePtr x = tree.Add(root, Relationship::kChild, "0000000012F", "x", "group");
  tree.Add(root, Relationship::kChild, "", "no key 1", "");
  tree.Add(root, Relationship::kChild, "", "no key 2", "");
  EXPECT_EQ(tree.Item("0000000012F"), x);
  EXPECT_EQ(x->Image(), "group");

  // A duplicate key adds nothing.
  EXPECT_EQ(ErrorOf([&] { tree.Add(root, Relationship::kChild, "0000000012F", "y", ""); }),
            err::kKeyNotUnique);
  EXPECT_EQ(tree.Count(), 4);
  EXPECT_EQ(root->Children(), 3);

  // Keys compare exactly; unknown and empty keys are not found.
  EXPECT_EQ(ErrorOf([&] { tree.Item("0000000012f"); }), err::kSubscriptOutOfRange);
  EXPECT_EQ(ErrorOf([&] { tree.Item(""); }), err::kSubscriptOutOfRange);

  // Renaming: a taken key raises and changes nothing; a free one moves the lookup.
  NodePtr other = tree.Add(root, Relationship::kChild, "other", "o", "");
  EXPECT_EQ(ErrorOf([&] { other->Key("0000000012F"); }), err::kKeyNotUnique);
  EXPECT_EQ(other->Key(), "other");
  other->Key("renamed");
  EXPECT_EQ(tree.Item("renamed"), other);
  EXPECT_EQ(ErrorOf([&] { tree.Item("other"); }), err::kSubscriptOutOfRange);
  x->Key(x->Key());  // its own key is no clash

  // A removed node's key can be used again.
  tree.Remove(x->Index());
  EXPECT_EQ(ErrorOf([&] { tree.Item("0000000012F"); }), err::kSubscriptOutOfRange);
  EXPECT_NO_THROW(tree.Add(root, Relationship::kChild, "0000000012F", "again", ""));
}

TEST(MemoryTreeViewTest, RelationshipsPlaceNodesWhenUnsorted) {
  struct Case {
    const char* name;
    const char* relative;  // text of the relative, "" for none
    Relationship relationship;
    const char* shape;
  };
  const Case cases[] = {
      {"first sibling", "b", Relationship::kFirst, "R(N,a,b(b1),c),S"},
      {"last sibling", "b", Relationship::kLast, "R(a,b(b1),c,N),S"},
      {"next sibling", "b", Relationship::kNext, "R(a,b(b1),N,c),S"},
      {"previous sibling", "b", Relationship::kPrevious, "R(a,N,b(b1),c),S"},
      {"child", "b", Relationship::kChild, "R(a,b(b1,N),c),S"},
      {"previous of a top-level node", "S", Relationship::kPrevious, "R(a,b(b1),c),N,S"},
      {"first top-level", "S", Relationship::kFirst, "N,R(a,b(b1),c),S"},
      {"no relative", "", Relationship::kFirst, "R(a,b(b1),c),S,N"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryTreeView tree;
    NodePtr r = tree.Add(nullptr, Relationship::kLast, "", "R", "");
    tree.Add(nullptr, Relationship::kLast, "", "S", "");
    AddChild(tree, r, "a");
    NodePtr b = AddChild(tree, r, "b");
    AddChild(tree, r, "c");
    AddChild(tree, b, "b1");
    NodePtr relative;
    tree.Walk([&](const NodePtr& node, int) {
      if (node->Text() == c.relative) relative = node;
    });
    NodePtr added = tree.Add(relative, c.relationship, "", "N", "");
    EXPECT_EQ(testing::TreeShape(tree), c.shape);
    EXPECT_EQ(added->Index(), 7);  // numbering is by addition whatever the place
  }
}

TEST(MemoryTreeViewTest, SortedKeepsSiblingsInTextOrderIgnoringCase) {
  MemoryTreeView tree;
  tree.Sorted(true);
  NodePtr root = tree.Add(nullptr, Relationship::kLast, "", "Data Browser", "Net");
  for (const char* text : {"pear", "Apple", "banana", "apple", "Banana", "cherry"}) {
    AddChild(tree, root, text);
  }
  // Equal texts (ignoring case) stay in the order they came in.
  EXPECT_EQ(testing::TreeShape(tree), "Data Browser(Apple,apple,banana,Banana,cherry,pear)");
  // The relationship gives way to the order.
  NodePtr cherry = root->Child()->Next()->Next()->Next()->Next();
  tree.Add(cherry, Relationship::kFirst, "", "zebra", "");
  tree.Add(cherry, Relationship::kPrevious, "", "avocado", "");
  EXPECT_EQ(testing::TreeShape(tree), "Data Browser(Apple,apple,avocado,banana,Banana,cherry,pear,zebra)");
  // Top-level nodes are sorted too, and so is a node whose text changes.
  tree.Add(nullptr, Relationship::kLast, "", "Archive", "");
  cherry->Text("Aardvark");
  EXPECT_EQ(testing::TreeShape(tree),
            "Archive,Data Browser(Aardvark,Apple,apple,avocado,banana,Banana,pear,zebra)");
  EXPECT_EQ(root->FirstSibling()->Text(), "Archive");
  EXPECT_EQ(root->Child()->Text(), "Aardvark");
  EXPECT_EQ(root->Child()->LastSibling()->Text(), "zebra");
}

TEST(MemoryTreeViewTest, TurningSortedOnResortsAndOffKeepsTheOrder) {
  MemoryTreeView tree;
  NodePtr root = tree.Add(nullptr, Relationship::kLast, "", "r", "");
  tree.Add(root, Relationship::kFirst, "", "Q", "");
  NodePtr c = AddChild(tree, root, "c");
  AddChild(tree, root, "B");
  AddChild(tree, root, "a");
  AddChild(tree, root, "b");
  AddChild(tree, c, "z");
  AddChild(tree, c, "y");
  EXPECT_EQ(testing::TreeShape(tree), "Q,r(c(z,y),B,a,b)");
  tree.Sorted(true);
  EXPECT_TRUE(tree.Sorted());
  EXPECT_EQ(testing::TreeShape(tree), "Q,r(a,B,b,c(y,z))");
  // Indexes are by addition, not by display order.
  EXPECT_EQ(ByIndex(tree), (std::vector<std::string>{"r", "Q", "c", "B", "a", "b", "z", "y"}));
  tree.Sorted(false);
  tree.Add(root->Child(), Relationship::kFirst, "", "x", "");
  EXPECT_EQ(testing::TreeShape(tree), "Q,r(x,a,B,b,c(y,z))");
}

TEST(MemoryTreeViewTest, FullPathJoinsTextsWithTheSeparator) {
  MemoryTreeView tree;
  NodePtr root = tree.Add();
  root->Text("Data Browser");
  NodePtr sales = AddChild(tree, root, "Sales");
  NodePtr east = AddChild(tree, sales, "East");
  NodePtr blank = AddChild(tree, east, "");
  EXPECT_EQ(tree.PathSeparator(), "\\");
  EXPECT_EQ(root->FullPath(), "Data Browser");
  EXPECT_EQ(east->FullPath(), "Data Browser\\Sales\\East");
  EXPECT_EQ(blank->FullPath(), "Data Browser\\Sales\\East\\");
  tree.PathSeparator(" / ");
  EXPECT_EQ(east->FullPath(), "Data Browser / Sales / East");
}

TEST(MemoryTreeViewTest, SiblingsAndParentsWalk) {
  MemoryTreeView tree;
  NodePtr root = tree.Add();
  NodePtr a = AddChild(tree, root, "a");
  NodePtr b = AddChild(tree, root, "b");
  NodePtr c = AddChild(tree, root, "c");
  EXPECT_EQ(root->Children(), 3);
  EXPECT_EQ(root->Child(), a);
  EXPECT_EQ(root->Parent(), nullptr);
  EXPECT_EQ(root->FirstSibling(), root);
  EXPECT_EQ(root->Next(), nullptr);
  for (const NodePtr& n : {a, b, c}) {
    EXPECT_EQ(n->FirstSibling(), a);
    EXPECT_EQ(n->LastSibling(), c);
    EXPECT_EQ(n->Parent(), root);
  }
  EXPECT_EQ(a->Next(), b);
  EXPECT_EQ(b->Next(), c);
  EXPECT_EQ(c->Next(), nullptr);
  EXPECT_EQ(a->Children(), 0);
  EXPECT_EQ(a->Child(), nullptr);
  tree.Remove(a->Index());
  EXPECT_EQ(c->FirstSibling(), b);
  EXPECT_EQ(root->Child(), b);
  tree.Remove(c->Index());
  EXPECT_EQ(b->LastSibling(), b);
  EXPECT_EQ(b->Next(), nullptr);
  EXPECT_EQ(tree.Roots(), std::vector<NodePtr>{root});
}

// The pruning walk of the navigation code, written against the collection's members only:
// the children of every sibling of the selected node go, the selected node keeps its own.
TEST(MemoryTreeViewTest, PruningSiblingsByIndexLeavesOnlyTheSelectedBranch) {
  MemoryTreeView tree;
  NodePtr root = tree.Add();
  root->Text("root");
  std::vector<NodePtr> level;
  for (const char* text : {"a", "b", "c", "d"}) {
    NodePtr n = AddChild(tree, root, text);
    for (int k = 0; k < 2; ++k) AddChild(tree, AddChild(tree, n, text + std::to_string(k)), "leaf");
    n->Expanded(true);
    level.push_back(n);
  }
  level[2]->Selected(true);

  NodePtr selected = tree.SelectedItem();
  int i = selected->FirstSibling()->Index();
  if (tree.Item(i) != selected) {
    while (tree.Item(i)->Children() > 0) {
      tree.Item(i)->Expanded(false);
      tree.Remove(tree.Item(i)->Child()->Index());
    }
  }
  while (i != selected->LastSibling()->Index()) {
    NodePtr j = tree.Item(i)->Next();
    if (j != selected) {
      while (j->Children() > 0) tree.Remove(j->Child()->Index());
    }
    i = j->Index();
  }
  tree.Refresh();

  EXPECT_EQ(testing::TreeShape(tree), "root(a,b,c(c0(leaf),c1(leaf)),d)");
  EXPECT_EQ(tree.Count(), 9);
  EXPECT_FALSE(level[0]->Expanded());
  EXPECT_EQ(tree.RefreshCount(), 1);
}

TEST(MemoryTreeViewTest, SelectionAndError91) {
  MemoryTreeView tree;
  EXPECT_EQ(ErrorOf([&] { tree.SelectedItem(); }), err::kObjectNotSet);
  NodePtr root = tree.Add();
  NodePtr a = AddChild(tree, root, "a");
  NodePtr a1 = AddChild(tree, a, "a1");
  EXPECT_EQ(ErrorOf([&] { tree.SelectedItem(); }), err::kObjectNotSet);
  EXPECT_EQ(tree.SelectedOrNull(), nullptr);

  root->Selected(true);
  EXPECT_EQ(tree.SelectedItem(), root);
  a1->Selected(true);  // one selected node at a time
  EXPECT_EQ(tree.SelectedItem(), a1);
  EXPECT_FALSE(root->Selected());
  root->Selected(false);  // deselecting another node changes nothing
  EXPECT_EQ(tree.SelectedItem(), a1);
  a1->Selected(false);
  EXPECT_EQ(ErrorOf([&] { tree.SelectedItem(); }), err::kObjectNotSet);

  // Removing a subtree that holds the selected node leaves none selected.
  a1->Selected(true);
  tree.Remove(a->Index());
  EXPECT_EQ(ErrorOf([&] { tree.SelectedItem(); }), err::kObjectNotSet);
  root->Selected(true);
  tree.Clear();
  EXPECT_EQ(ErrorOf([&] { tree.SelectedItem(); }), err::kObjectNotSet);
}

TEST(MemoryTreeViewTest, RemovedNodesRaise91) {
  auto tree = std::make_unique<MemoryTreeView>();
  NodePtr root = tree->Add();
  NodePtr child = AddChild(*tree, root, "child", "k");
  NodePtr grandchild = AddChild(*tree, child, "grandchild");
  NodePtr survivor = AddChild(*tree, root, "survivor");
  tree->Remove(child->Index());

  const std::vector<std::function<void(Node&)>> members = {
      [](Node& n) { n.Tag(); },           [](Node& n) { n.Tag("x"); },
      [](Node& n) { n.Text(); },          [](Node& n) { n.Text("x"); },
      [](Node& n) { n.Key(); },           [](Node& n) { n.Key("y"); },
      [](Node& n) { n.ForeColor(); },     [](Node& n) { n.ForeColor(1); },
      [](Node& n) { n.Image(); },         [](Node& n) { n.Image("x"); },
      [](Node& n) { n.Expanded(); },      [](Node& n) { n.Expanded(true); },
      [](Node& n) { n.Selected(); },      [](Node& n) { n.Selected(true); },
      [](Node& n) { n.Children(); },      [](Node& n) { n.Child(); },
      [](Node& n) { n.FirstSibling(); },  [](Node& n) { n.LastSibling(); },
      [](Node& n) { n.Next(); },          [](Node& n) { n.Parent(); },
      [](Node& n) { n.Index(); },         [](Node& n) { n.FullPath(); },
      [](Node& n) { n.EnsureVisible(); },
  };
  for (const NodePtr& stale : {child, grandchild}) {
    for (std::size_t m = 0; m < members.size(); ++m) {
      SCOPED_TRACE(m);
      EXPECT_EQ(ErrorOf([&] { members[m](*stale); }), err::kObjectNotSet);
    }
    EXPECT_EQ(ErrorOf([&] { tree->Add(stale, Relationship::kChild, "", "", ""); }),
              err::kObjectNotSet);
  }
  EXPECT_EQ(ErrorOf([&] { tree->SelectedItem(); }), err::kObjectNotSet);

  // Nodes outlive Clear and the tree itself, but only as removed nodes.
  tree->Clear();
  EXPECT_EQ(ErrorOf([&] { root->Text(); }), err::kObjectNotSet);
  NodePtr last = tree->Add();
  tree.reset();
  EXPECT_EQ(ErrorOf([&] { last->Index(); }), err::kObjectNotSet);
  EXPECT_EQ(ErrorOf([&] { survivor->Next(); }), err::kObjectNotSet);
}

TEST(MemoryTreeViewTest, ForeignRelativesAndUnknownRelationshipsRaise5) {
  MemoryTreeView tree;
  MemoryTreeView other;
  NodePtr root = tree.Add();
  NodePtr foreign = other.Add();
  EXPECT_EQ(ErrorOf([&] { tree.Add(foreign, Relationship::kChild, "", "", ""); }),
            err::kInvalidCall);
  EXPECT_EQ(ErrorOf([&] { tree.Add(root, static_cast<Relationship>(7), "", "", ""); }),
            err::kInvalidCall);
  EXPECT_EQ(tree.Count(), 1);
  EXPECT_EQ(other.Count(), 1);
}

TEST(MemoryTreeViewTest, NodeDisplayStateAndHostSideRecords) {
  MemoryTreeView tree;
  EXPECT_TRUE(tree.Enabled());
  tree.LabelEdit(1);
  tree.Enabled(false);
  tree.MousePointer(1);
  tree.Refresh();
  tree.Refresh();
  EXPECT_EQ(tree.LabelEdit(), 1);
  EXPECT_FALSE(tree.Enabled());
  EXPECT_EQ(tree.MousePointer(), 1);
  EXPECT_EQ(tree.RefreshCount(), 2);
  EXPECT_EQ(tree.LastMadeVisible(), nullptr);

  NodePtr root = tree.Add();
  root->Tag("00001F");
  root->ForeColor(0xFF0000);
  root->Image("Net");
  EXPECT_EQ(root->Tag(), "00001F");
  EXPECT_EQ(root->ForeColor(), 0xFF0000);
  EXPECT_EQ(root->Image(), "Net");
  EXPECT_EQ(root->Key(), "");
  EXPECT_EQ(root->Text(), "");

  NodePtr a = AddChild(tree, root, "a");
  NodePtr a1 = AddChild(tree, a, "a1");
  NodePtr a11 = AddChild(tree, a1, "a11");
  EXPECT_FALSE(root->Expanded());
  a11->EnsureVisible();
  EXPECT_TRUE(root->Expanded());
  EXPECT_TRUE(a->Expanded());
  EXPECT_TRUE(a1->Expanded());
  EXPECT_FALSE(a11->Expanded());  // the node itself is not opened
  EXPECT_EQ(tree.LastMadeVisible(), a11);
  tree.Remove(a->Index());
  EXPECT_EQ(tree.LastMadeVisible(), nullptr);
}

TEST(MemoryTreeViewTest, WalkGivesDisplayOrderWithDepths) {
  MemoryTreeView tree;
  NodePtr r1 = tree.Add(nullptr, Relationship::kLast, "", "r1", "");
  NodePtr r2 = tree.Add(nullptr, Relationship::kLast, "", "r2", "");
  NodePtr x = AddChild(tree, r1, "x");
  AddChild(tree, AddChild(tree, x, "y"), "z");
  AddChild(tree, r2, "w");
  std::vector<std::string> seen;
  tree.Walk([&](const NodePtr& node, int depth) {
    seen.push_back(std::to_string(depth) + node->Text());
  });
  EXPECT_EQ(seen, (std::vector<std::string>{"0r1", "1x", "2y", "3z", "0r2", "1w"}));
  EXPECT_EQ(tree.Roots(), (std::vector<NodePtr>{r1, r2}));
}

// A chain far deeper than the call stack could follow: removing, walking and destroying it
// must not recurse per level.
TEST(MemoryTreeViewTest, VeryDeepChainsAreHandledWithoutRecursion) {
  constexpr int kDepth = 200000;
  auto tree = std::make_unique<MemoryTreeView>();
  NodePtr top = tree->Add();
  NodePtr node = top;
  for (int i = 1; i < kDepth; ++i) node = AddChild(*tree, node, "n");
  int deepest = 0;
  tree->Walk([&](const NodePtr&, int depth) { deepest = std::max(deepest, depth); });
  EXPECT_EQ(deepest, kDepth - 1);
  tree->Remove(2);
  EXPECT_EQ(tree->Count(), 1);
  for (int i = 1; i < kDepth; ++i) node = AddChild(*tree, i == 1 ? top : node, "m");
  tree.reset();
  EXPECT_EQ(ErrorOf([&] { node->Text(); }), err::kObjectNotSet);
}

// A straightforward model of the collection, checked against the tree after every step of a
// long random run of additions, removals, text changes and sort switches. It catches slips in
// the numbering index and its compaction, in the sibling lists and in the sort index.
class ModelNode {
 public:
  NodePtr real;
  std::string text;
  ModelNode* parent = nullptr;
  std::vector<ModelNode*> children;
  bool alive = true;
};

class TreeModel {
 public:
  std::vector<std::unique_ptr<ModelNode>> all;
  std::vector<ModelNode*> order;  // live nodes in order of addition
  std::vector<ModelNode*> roots;
  bool sorted = false;

  std::vector<ModelNode*>& SiblingsOf(ModelNode* node) {
    return node->parent != nullptr ? node->parent->children : roots;
  }

  static std::string Fold(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
  }

  void PlaceSorted(std::vector<ModelNode*>& group, ModelNode* node) {
    auto at = std::upper_bound(group.begin(), group.end(), node, [](ModelNode* a, ModelNode* b) {
      return Fold(a->text) < Fold(b->text);
    });
    group.insert(at, node);
  }

  void SortAll() {
    const auto by_text = [](ModelNode* a, ModelNode* b) { return Fold(a->text) < Fold(b->text); };
    std::stable_sort(roots.begin(), roots.end(), by_text);
    for (ModelNode* n : order) std::stable_sort(n->children.begin(), n->children.end(), by_text);
  }

  void Remove(ModelNode* node) {
    auto& group = SiblingsOf(node);
    group.erase(std::find(group.begin(), group.end(), node));
    std::vector<ModelNode*> pending = {node};
    while (!pending.empty()) {
      ModelNode* n = pending.back();
      pending.pop_back();
      n->alive = false;
      pending.insert(pending.end(), n->children.begin(), n->children.end());
    }
    std::erase_if(order, [](ModelNode* n) { return !n->alive; });
  }
};

void ExpectSame(const MemoryTreeView& tree, TreeModel& model) {
  ASSERT_EQ(tree.Count(), static_cast<int>(model.order.size()));
  for (std::size_t i = 0; i < model.order.size(); ++i) {
    ASSERT_EQ(tree.Item(static_cast<int>(i) + 1), model.order[i]->real) << "Item " << i + 1;
    ASSERT_EQ(model.order[i]->real->Index(), static_cast<int>(i) + 1);
  }
  std::vector<std::pair<Node*, int>> expected;
  std::function<void(const std::vector<ModelNode*>&, int)> visit =
      [&](const std::vector<ModelNode*>& group, int depth) {
        for (std::size_t k = 0; k < group.size(); ++k) {
          ModelNode* n = group[k];
          expected.emplace_back(n->real.get(), depth);
          ASSERT_EQ(n->real->Children(), static_cast<int>(n->children.size()));
          ASSERT_EQ(n->real->FirstSibling(), group.front()->real);
          ASSERT_EQ(n->real->LastSibling(), group.back()->real);
          ASSERT_EQ(n->real->Next(), k + 1 < group.size() ? group[k + 1]->real : nullptr);
          ASSERT_EQ(n->real->Parent(), n->parent != nullptr ? n->parent->real : nullptr);
          visit(n->children, depth + 1);
        }
      };
  visit(model.roots, 0);
  std::vector<std::pair<Node*, int>> walked;
  tree.Walk([&](const NodePtr& node, int depth) { walked.emplace_back(node.get(), depth); });
  ASSERT_EQ(walked, expected);
}

TEST(MemoryTreeViewTest, AgreesWithASimpleModelOverARandomRun) {
  const char* const kTexts[] = {"a", "A", "b", "B", "c", "ab", ""};
  const Relationship kRelationships[] = {Relationship::kFirst, Relationship::kLast,
                                         Relationship::kNext, Relationship::kPrevious,
                                         Relationship::kChild};
  std::mt19937 random(20240607);
  MemoryTreeView tree;
  TreeModel model;
  const auto pick = [&](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
  };

  for (int step = 0; step < 4000; ++step) {
    SCOPED_TRACE(step);
    const std::size_t action = pick(100);
    // Grow for a while, then shrink, then grow again, so numbering slots get compacted.
    const bool growing = (step / 1000) % 2 == 0;
    if (model.order.empty() || action < (growing ? 60u : 25u)) {
      auto node = std::make_unique<ModelNode>();
      node->text = kTexts[pick(std::size(kTexts))];
      ModelNode* relative =
          model.order.empty() || pick(10) == 0 ? nullptr : model.order[pick(model.order.size())];
      const Relationship relationship = kRelationships[pick(std::size(kRelationships))];
      node->real = tree.Add(relative != nullptr ? relative->real : nullptr, relationship, "",
                            node->text, "");
      ModelNode* n = node.get();
      if (relative == nullptr) {
        n->parent = nullptr;
      } else if (relationship == Relationship::kChild) {
        n->parent = relative;
      } else {
        n->parent = relative->parent;
      }
      auto& group = model.SiblingsOf(n);
      if (model.sorted) {
        model.PlaceSorted(group, n);
      } else if (relative == nullptr || relationship == Relationship::kLast ||
                 relationship == Relationship::kChild) {
        group.push_back(n);
      } else if (relationship == Relationship::kFirst) {
        group.insert(group.begin(), n);
      } else {
        auto at = std::find(group.begin(), group.end(), relative);
        group.insert(relationship == Relationship::kNext ? at + 1 : at, n);
      }
      model.order.push_back(n);
      model.all.push_back(std::move(node));
    } else if (action < 90) {
      const std::size_t index = pick(model.order.size());
      tree.Remove(static_cast<int>(index) + 1);
      model.Remove(model.order[index]);
    } else if (action < 98) {
      ModelNode* n = model.order[pick(model.order.size())];
      const std::string old_text = n->text;
      n->text = kTexts[pick(std::size(kTexts))];
      n->real->Text(n->text);
      // A node moves only when its place by text can change.
      if (model.sorted && TreeModel::Fold(old_text) != TreeModel::Fold(n->text)) {
        auto& group = model.SiblingsOf(n);
        group.erase(std::find(group.begin(), group.end(), n));
        model.PlaceSorted(group, n);
      }
    } else {
      model.sorted = !model.sorted;
      tree.Sorted(model.sorted);
      if (model.sorted) model.SortAll();
    }
    ExpectSame(tree, model);
    if (HasFatalFailure()) return;
  }
}

}  // namespace
}  // namespace nimbo
