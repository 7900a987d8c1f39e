// A tree in display order as one line, "text(child,child),text", so that a whole tree's order
// is compared in one assertion.
#ifndef NIMBO_TESTS_TESTING_TREE_SHAPE_H_
#define NIMBO_TESTS_TESTING_TREE_SHAPE_H_

#include <memory>
#include <string>

#include "nimbo/memory_tree_view.h"

namespace nimbo::testing {

inline std::string TreeShape(const MemoryTreeView& tree) {
  std::string out;
  int previous_depth = -1;
  tree.Walk([&](const std::shared_ptr<Node>& node, int depth) {
    if (depth > previous_depth && previous_depth >= 0) out += "(";
    for (int d = previous_depth; d > depth; --d) out += ")";
    if (depth <= previous_depth) out += ",";
    out += node->Text();
    previous_depth = depth;
  });
  for (int d = previous_depth; d > 0; --d) out += ")";
  return out;
}

}  // namespace nimbo::testing

#endif  // NIMBO_TESTS_TESTING_TREE_SHAPE_H_
