// The tree's insides beyond what the public members show: the sort index stays in step with the
// sibling lists through additions, removals, renames, sort switches and slot compaction; the
// arrival numbers that order equal texts can run out and be renumbered; handles keep their
// identity and their node across compaction.
#include "platform/memory_tree_state.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "nimbo/memory_tree_view.h"

namespace nimbo::internal {
namespace {

std::vector<std::string> ChildTexts(const TreeState& tree, std::uint32_t parent) {
  std::vector<std::string> texts;
  for (std::uint32_t n = tree.GroupOf(parent).first; n != 0; n = tree.record(n).next) {
    texts.push_back(std::string(tree.record(n).text.view()));
  }
  return texts;
}

TEST(MemoryTreeStateTest, SortIndexFollowsTheListsOverARandomRun) {
  const char* const kTexts[] = {"a", "A", "b", "B", "ab", "", "zz"};
  std::mt19937 random(99);
  const auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
  TreeState tree;
  std::vector<std::uint32_t> live;
  for (int step = 0; step < 6000; ++step) {
    SCOPED_TRACE(step);
    const std::size_t action = pick(100);
    const bool growing = (step / 1500) % 2 == 0;
    if (live.empty() || action < (growing ? 60u : 20u)) {
      const std::uint32_t parent = live.empty() || pick(8) == 0 ? 0 : live[pick(live.size())];
      live.push_back(tree.AddNode(parent, Place::kLast, 0, "", kTexts[pick(std::size(kTexts))], ""));
    } else if (action < 90) {
      tree.RemoveSubtree(live[pick(live.size())]);
      // Slots may have been renumbered: take the live ones afresh.
      live.clear();
      for (int i = 1; i <= tree.Count(); ++i) live.push_back(tree.At(i));
    } else if (action < 97) {
      tree.ChangeText(live[pick(live.size())], kTexts[pick(std::size(kTexts))]);
    } else {
      tree.SetSorted(!tree.sorted());
    }
    ASSERT_TRUE(tree.SortIndexAgreesWithLists());
  }
}

TEST(MemoryTreeStateTest, ArrivalNumbersRunningOutKeepEqualTextsInOrder) {
  TreeState tree;
  tree.SetSorted(true);
  const std::uint32_t parent = tree.AddNode(0, Place::kLast, 0, "", "parent", "");
  tree.AddNode(parent, Place::kLast, 0, "", "same", "first");
  tree.AddNode(parent, Place::kLast, 0, "", "b", "");
  tree.set_next_order_for_testing(std::numeric_limits<std::uint32_t>::max() - 1);
  const std::uint32_t second = tree.AddNode(parent, Place::kLast, 0, "", "Same", "");
  // The next one finds the numbers spent: all are renumbered, and it still arrives last.
  const std::uint32_t third = tree.AddNode(parent, Place::kLast, 0, "", "SAME", "");
  tree.AddNode(parent, Place::kLast, 0, "", "a", "");
  EXPECT_EQ(ChildTexts(tree, parent),
            (std::vector<std::string>{"a", "b", "same", "Same", "SAME"}));
  EXPECT_LT(tree.record(second).order, tree.record(third).order);
  EXPECT_TRUE(tree.SortIndexAgreesWithLists());
  tree.ChangeText(second, "c");
  EXPECT_EQ(ChildTexts(tree, parent), (std::vector<std::string>{"a", "b", "c", "same", "SAME"}));
  EXPECT_TRUE(tree.SortIndexAgreesWithLists());
}

// Removing most nodes renumbers the slots; the nodes the host holds must stay the same objects,
// on the same nodes, findable by index and key.
TEST(MemoryTreeStateTest, HandlesSurviveCompaction) {
  MemoryTreeView tree;
  tree.Sorted(true);
  auto root = tree.Add(nullptr, Relationship::kLast, "root", "root", "Net");
  std::vector<std::shared_ptr<Node>> kept;
  for (int i = 0; i < 500; ++i) {
    auto node = tree.Add(root, Relationship::kChild, "k" + std::to_string(i),
                         "n" + std::to_string(1000 + i), "card");
    node->Tag("00003N");
    if (i % 50 == 49) kept.push_back(node);
  }
  kept.back()->Selected(true);
  // Remove every node but the kept ones, from the front, so the dead slots pile up first.
  int index = 2;
  while (tree.Count() > 1 + static_cast<int>(kept.size())) {
    auto node = tree.Item(index);
    if (node->Key().back() == '9' && (std::stoi(node->Key().substr(1)) % 50) == 49) {
      ++index;
      continue;
    }
    tree.Remove(index);
  }
  ASSERT_EQ(tree.Count(), 11);
  for (std::size_t k = 0; k < kept.size(); ++k) {
    const int i = static_cast<int>(k) * 50 + 49;
    EXPECT_EQ(kept[k]->Text(), "n" + std::to_string(1000 + i));
    EXPECT_EQ(kept[k]->Tag(), "00003N");
    EXPECT_EQ(kept[k]->Image(), "card");
    EXPECT_EQ(kept[k]->Index(), static_cast<int>(k) + 2);
    EXPECT_EQ(tree.Item(static_cast<int>(k) + 2), kept[k]);
    EXPECT_EQ(tree.Item("k" + std::to_string(i)), kept[k]);
    EXPECT_EQ(kept[k]->Parent(), root);
  }
  EXPECT_EQ(tree.SelectedItem(), kept.back());
  EXPECT_EQ(root->Child(), kept.front());
  EXPECT_EQ(root->Children(), 10);
  // A new node goes to its place by text among the survivors.
  auto added = tree.Add(root, Relationship::kChild, "new", "n1100", "");
  EXPECT_EQ(kept[1]->Next(), added);
  EXPECT_EQ(added->Next(), kept[2]);
}

}  // namespace
}  // namespace nimbo::internal
