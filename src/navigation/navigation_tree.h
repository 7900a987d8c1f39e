// The navigation tree: nodes made lazily from the navigation rows, their identity (Tag and
// Key), the role check, and the pruning of the open branch's siblings.
#ifndef NIMBO_SRC_NAVIGATION_NAVIGATION_TREE_H_
#define NIMBO_SRC_NAVIGATION_NAVIGATION_TREE_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "control/control_state.h"

namespace nimbo {

// Columns of a navigation row.
namespace nav {
inline constexpr int kId = 0;
inline constexpr int kCaption = 1;
inline constexpr int kKind = 2;
inline constexpr int kParent = 3;
inline constexpr int kProcedure = 4;
inline constexpr int kMacro = 5;
inline constexpr int kImage = 6;
inline constexpr int kAccess = 7;
}  // namespace nav

// Colour of every node the component adds (0x00BBGGRR: blue).
inline constexpr std::int32_t kNodeColour = 0xFF0000;

// Whether the user's role is in an access list ("1:3"); an empty or Null list admits everyone,
// items are compared as numbers ("01" admits role 1) and items that are not numbers admit no one.
bool HasAccess(const ControlState& s, const Variant& access_list);

// The first navigation row whose id equals `id`, or nullopt.
std::optional<int> FindNavRow(const ControlState& s, std::int32_t id);

// Removes the children of every sibling of the selected node, so that only the open branch holds
// loaded nodes. A failing step ends the pruning; the tree is refreshed all the same. Never raises.
void PruneSiblings(ControlState& s);

// Adds one child to `node` per navigation row whose parent is `id`.
void AddFolderChildren(ControlState& s, const std::shared_ptr<Node>& node, std::int32_t id);

// Runs the query of navigation row `query_row` into mRS. False when the read failed.
bool ReadNodeQuery(ControlState& s, int query_row);

// Adds one child to `node` per record of mRS, from the current one to the end, taking Tag and
// image from navigation row `template_row` (none: Tag "00000" and no image), and expands `node`.
void AddRecordChildren(ControlState& s, const std::shared_ptr<Node>& node,
                       std::optional<int> template_row);

}  // namespace nimbo

#endif  // NIMBO_SRC_NAVIGATION_NAVIGATION_TREE_H_
