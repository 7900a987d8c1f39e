// The tree's key table against a plain map over a long random run in a small key space, so
// that runs of colliding entries form, wrap around the table's end and lose members from their
// middle (the backward shift on removal is where such tables go wrong).
#include "platform/key_table.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace nimbo {
namespace {

TEST(KeyTableTest, AgreesWithAMapOverARandomRun) {
  std::vector<std::string> keys(1);  // keys[slot]; slot 0 is never an item
  KeyTable table([&keys](std::uint32_t slot) { return std::string_view(keys[slot]); });
  std::map<std::string, std::uint32_t> model;
  std::mt19937 random(7);
  for (int step = 0; step < 60000; ++step) {
    const std::string key = "k" + std::to_string(random() % 3000);
    const auto found = model.find(key);
    if (found == model.end()) {
      keys.push_back(key);
      const auto slot = static_cast<std::uint32_t>(keys.size() - 1);
      table.Insert(slot);
      model.emplace(key, slot);
    } else if (random() % 3 != 0) {
      table.Erase(found->second);
      model.erase(found);
    }
    if (step % 997 == 0 || step > 59000) {
      for (int k = 0; k < 3000; ++k) {
        const std::string probe = "k" + std::to_string(k);
        const auto expected = model.find(probe);
        ASSERT_EQ(table.Find(probe), expected == model.end() ? 0u : expected->second)
            << "step " << step << " key " << probe;
      }
      ASSERT_EQ(table.size(), model.size());
    }
  }
}

TEST(KeyTableTest, RenumberKeepsEveryKeyFindable) {
  std::vector<std::string> keys = {"", "a", "b", "c", "d"};
  KeyTable table([&keys](std::uint32_t slot) { return std::string_view(keys[slot]); });
  for (std::uint32_t slot : {1u, 3u, 4u}) table.Insert(slot);
  // Slot 2 is gone; 3 and 4 move down to 2 and 3, as the tree's compaction does.
  keys = {"", "a", "c", "d"};
  table.Renumber({0, 1, 0, 2, 3});
  EXPECT_EQ(table.Find("a"), 1u);
  EXPECT_EQ(table.Find("c"), 2u);
  EXPECT_EQ(table.Find("d"), 3u);
  EXPECT_EQ(table.Find("b"), 0u);
  table.Erase(2);
  EXPECT_EQ(table.Find("c"), 0u);
  EXPECT_EQ(table.Find("d"), 3u);
  table.Clear();
  EXPECT_EQ(table.Find("a"), 0u);
}

}  // namespace
}  // namespace nimbo
