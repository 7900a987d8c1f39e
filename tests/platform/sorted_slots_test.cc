// The block-wise ordered index against a std::set, with enough slots to split many blocks and
// empty some again, and the successor it reports on each insertion.
#include "platform/sorted_slots.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <set>
#include <vector>

namespace nimbo {
namespace {

struct ByWeight {
  const std::vector<std::uint32_t>* weight;
  bool operator()(std::uint32_t a, std::uint32_t b) const {
    const auto wa = (*weight)[a];
    const auto wb = (*weight)[b];
    return wa != wb ? wa < wb : a < b;
  }
};

TEST(SortedSlotsTest, AgreesWithASetAndNamesTheSuccessor) {
  std::mt19937 random(11);
  std::vector<std::uint32_t> weight(20001);
  for (auto& w : weight) w = random() % 500;  // many equal weights: ties go by slot
  const ByWeight less{&weight};
  SortedSlots index;
  std::set<std::uint32_t, ByWeight> model(less);
  for (int step = 0; step < 40000; ++step) {
    const auto slot = static_cast<std::uint32_t>(1 + random() % 20000);
    if (model.count(slot) == 0) {
      const std::uint32_t after = index.Insert(slot, less);
      auto it = model.insert(slot).first;
      ++it;
      ASSERT_EQ(after, it == model.end() ? 0u : *it) << "step " << step;
    } else if (step < 30000 ? random() % 4 == 0 : true) {  // at the end, mostly removals
      index.Erase(slot, less);
      model.erase(slot);
    }
    if (step % 1999 == 0) {
      ASSERT_EQ(index.Flatten(), std::vector<std::uint32_t>(model.begin(), model.end()));
    }
  }
  ASSERT_EQ(index.Flatten(), std::vector<std::uint32_t>(model.begin(), model.end()));
  index.Erase(0, less);  // never held: nothing happens
  ASSERT_EQ(index.Flatten(), std::vector<std::uint32_t>(model.begin(), model.end()));
}

TEST(SortedSlotsTest, AssignedContentsTakeFurtherInsertions) {
  std::vector<std::uint32_t> weight(3001);
  for (std::uint32_t i = 0; i < weight.size(); ++i) weight[i] = i % 2 == 0 ? i : 0;
  const ByWeight less{&weight};
  std::vector<std::uint32_t> evens;
  for (std::uint32_t i = 2; i <= 3000; i += 2) evens.push_back(i);
  SortedSlots index;
  index.Assign(evens);
  std::set<std::uint32_t, ByWeight> model(evens.begin(), evens.end(), less);
  for (std::uint32_t i = 1; i <= 3000; i += 2) {
    weight[i] = i;  // fills the gaps between the assigned ones
    index.Insert(i, less);
    model.insert(i);
  }
  EXPECT_EQ(index.Flatten(), std::vector<std::uint32_t>(model.begin(), model.end()));
}

}  // namespace
}  // namespace nimbo
