// Walks a component's whole tree the way a user clicking through it would: every node displayed,
// depth first, each node's children as its own display made them; what each display wrote is kept
// so that two walks (of two back ends, say) can be compared byte for byte.
#ifndef NIMBO_TESTS_TESTING_TREE_WALK_H_
#define NIMBO_TESTS_TESTING_TREE_WALK_H_

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "nimbo/memory_tree_view.h"
#include "nimbo/nimbo.h"
#include "testing/test_support.h"

namespace nimbo::testing {

struct WalkedPage {
  std::string path;   // the node's full path
  std::string files;  // the page it wrote ("<no page>" for none), then the picture file if any
};

// Displays every node under the tree's roots (after the caller's RefreshBrowser), at most
// `limit` of them. Pages and pictures are read from `folder`, the application folder.
inline std::vector<WalkedPage> WalkWholeTree(Nimbo& control, MemoryTreeView& tree,
                                             const std::filesystem::path& folder,
                                             std::size_t limit = 1000) {
  namespace fs = std::filesystem;
  std::vector<WalkedPage> pages;
  std::vector<std::shared_ptr<Node>> stack;
  const auto roots = tree.Roots();
  stack.assign(roots.rbegin(), roots.rend());
  while (!stack.empty() && pages.size() < limit) {
    std::shared_ptr<Node> node = std::move(stack.back());
    stack.pop_back();
    node->Selected(true);
    fs::remove(folder / "pic1");
    fs::remove(folder / "oDatNav.htm");
    control.DisplayFor(node);
    // The root's display shows the front page and writes no page of its own.
    std::string files =
        fs::exists(folder / "oDatNav.htm") ? ReadFile(folder / "oDatNav.htm") : "<no page>";
    if (fs::exists(folder / "pic1")) files += "\n--- pic1\n" + ReadFile(folder / "pic1");
    pages.push_back({node->FullPath(), std::move(files)});
    std::vector<std::shared_ptr<Node>> children;
    for (auto child = node->Child(); child; child = child->Next()) children.push_back(child);
    stack.insert(stack.end(), children.rbegin(), children.rend());
  }
  return pages;
}

}  // namespace nimbo::testing

#endif  // NIMBO_TESTS_TESTING_TREE_WALK_H_
