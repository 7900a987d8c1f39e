// The 24-byte text: every length round-trips, on either side of the inline limit, through
// copies, moves and assignments of itself.
#include "platform/packed_text.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace nimbo {
namespace {

TEST(PackedTextTest, KeepsEveryLengthAndByte) {
  for (std::size_t length : {0u, 1u, 15u, 16u, 22u, 23u, 24u, 25u, 100u, 70000u}) {
    SCOPED_TRACE(length);
    std::string text(length, 'x');
    for (std::size_t i = 0; i < length; ++i) text[i] = static_cast<char>(i * 37);  // NULs too
    PackedText packed(text);
    EXPECT_EQ(packed.view(), text);
    EXPECT_EQ(packed.empty(), length == 0);

    PackedText copy(packed);
    PackedText moved(std::move(packed));
    EXPECT_EQ(copy.view(), text);
    EXPECT_EQ(moved.view(), text);
    EXPECT_TRUE(packed.empty());  // NOLINT(bugprone-use-after-move): moved-from is empty

    // Assigning across the inline limit both ways frees or takes a block as needed.
    moved.Assign("short");
    EXPECT_EQ(moved.view(), "short");
    moved = copy;
    EXPECT_EQ(moved.view(), text);
    moved.Clear();
    EXPECT_TRUE(moved.empty());
  }
}

TEST(PackedTextTest, AssigningItsOwnTextKeepsIt) {
  for (const std::string& text : {std::string("inline text"), std::string(40, 'h')}) {
    PackedText packed(text);
    packed.Assign(packed.view());
    EXPECT_EQ(packed.view(), text);
    packed.Assign(packed.view().substr(1));
    EXPECT_EQ(packed.view(), text.substr(1));
    PackedText& same = packed;
    packed = same;
    EXPECT_EQ(packed.view(), text.substr(1));
  }
}

TEST(PackedTextTest, ManyLiveTogetherInAVector) {
  std::vector<PackedText> texts;
  for (int i = 0; i < 2000; ++i) {
    texts.emplace_back(std::string(static_cast<std::size_t>(i % 50), static_cast<char>('a' + i % 26)));
  }
  for (int i = 0; i < 2000; ++i) {
    ASSERT_EQ(texts[static_cast<std::size_t>(i)].view(),
              std::string(static_cast<std::size_t>(i % 50), static_cast<char>('a' + i % 26)));
  }
}

}  // namespace
}  // namespace nimbo
