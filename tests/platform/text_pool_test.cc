// Shared texts: one entry per distinct text however many hold it, freed with the last holder,
// and its id reused without confusing the texts still held.
#include "platform/text_pool.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace nimbo {
namespace {

TEST(TextPoolTest, CountsHoldersAndReusesFreedIds) {
  TextPool pool;
  EXPECT_EQ(pool.Acquire(""), 0u);
  const std::uint32_t card = pool.Acquire("card");
  EXPECT_EQ(pool.Acquire("card"), card);
  const std::uint32_t group = pool.Acquire("group");
  EXPECT_NE(group, card);
  EXPECT_EQ(pool.size(), 2u);

  pool.Release(card);
  EXPECT_EQ(pool.Text(card), "card");  // one holder left
  pool.Release(card);
  EXPECT_EQ(pool.size(), 1u);
  const std::uint32_t net = pool.Acquire("Net");
  EXPECT_EQ(net, card);  // the freed id comes back
  EXPECT_EQ(pool.Text(net), "Net");
  EXPECT_EQ(pool.Text(group), "group");
  EXPECT_EQ(pool.Acquire("card") != net, true);

  pool.Release(0);  // the empty text is never counted
  EXPECT_EQ(pool.Text(0), "");
  pool.Clear();
  EXPECT_EQ(pool.size(), 0u);
  EXPECT_EQ(pool.Text(pool.Acquire("group")), "group");
}

}  // namespace
}  // namespace nimbo
