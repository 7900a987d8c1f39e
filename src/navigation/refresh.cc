// Refreshing the browser and displaying a node.
#include <exception>
#include <optional>
#include <string>

#include "control/app_files.h"
#include "control/control_state.h"
#include "control/diagnostics.h"
#include "data/startup_load.h"
#include "navigation/navigation_tree.h"
#include "nimbo/error.h"
#include "nimbo/nimbo.h"
#include "report/page_builder.h"

namespace nimbo {
namespace {

constexpr char kReadError[] = "Error Reading Data From Database";

// Runs one step whose failure is passed over.
template <class Step>
void Skipping(Step&& step) {
  try {
    step();
  } catch (const std::exception&) {
  }
}

// The node the last step added (91 when there is none).
Node& WorkNode(const ControlState& s) {
  if (!s.mNode) throw Error(err::kObjectNotSet);
  return *s.mNode;
}

// How a display ends before its normal end.
enum class Ending { kNormal, kCommon, kReadFailure };

// The kind-specific part of a display; throws on a run-time error.
Ending DisplayKind(ControlState& s, const std::shared_ptr<Node>& node) {
  const std::string tag = node->Tag();
  const std::int16_t id = Variant(tag.substr(0, 5)).ToInteger();
  const std::string kind = tag.size() > 5 ? tag.substr(5, 1) : std::string();

  PruneSiblings(s);

  if (kind != "F" && kind != "G" && kind != "R" && kind != "N") return Ending::kNormal;
  // A Tag whose id names no navigation row shows nothing, rather than another row's page.
  const std::optional<int> row = FindNavRow(s, id);
  if (!row) return Ending::kNormal;
  if (!HasAccess(s, s.NavRows(nav::kAccess, *row))) return Ending::kCommon;
  const std::int32_t page_id = s.NavRows(nav::kId, *row).ToLong();

  if (kind == "F") {
    AddFolderChildren(s, node, id);
    node->Expanded(true);
    BuildPage(s, page_id);
  } else if (kind == "G") {
    std::optional<int> template_row;
    for (int r = 0; r < s.NavRows.row_count() && !template_row; ++r) {
      const Variant& parent = s.NavRows(nav::kParent, r);
      if (!parent.IsNull() && !parent.IsEmpty() && parent.ToDouble() == id) template_row = r;
    }
    if (!ReadNodeQuery(s, *row)) return Ending::kReadFailure;
    AddRecordChildren(s, node, template_row);
    BuildPage(s, page_id);
  } else if (kind == "R") {
    if (!ReadNodeQuery(s, *row)) return Ending::kReadFailure;
    AddRecordChildren(s, node, row);
    BuildPage(s, page_id);
    for (int r = 0; r < s.NavRows.row_count(); ++r) {
      const Variant& parent = s.NavRows(nav::kParent, r);
      if (parent.IsNull() || parent.IsEmpty() || parent.ToDouble() != id) continue;
      const Variant& row_kind = s.NavRows(nav::kKind, r);
      if (!row_kind.IsString() || row_kind.str() != "N") continue;
      const Variant& procedure = s.NavRows(nav::kProcedure, r);
      if (procedure.IsNull() || procedure.ToText().empty()) continue;
      if (!ReadNodeQuery(s, r)) return Ending::kReadFailure;
      AddRecordChildren(s, node, r);
    }
  } else {
    BuildPage(s, page_id);
  }
  return Ending::kNormal;
}

}  // namespace

void Nimbo::RefreshBrowser() {
  ControlState& s = *state_;
  Skipping([&] { LoadBrowser(s); });
  Skipping([&] { Tree(s).Clear(); });
  Skipping([&] { Tree(s).Sorted(true); });
  Skipping([&] { s.mNode = Tree(s).Add(); });
  Skipping([&] { WorkNode(s).Tag("00001F"); });
  Skipping([&] { WorkNode(s).Text("Data Browser"); });
  Skipping([&] { WorkNode(s).ForeColor(kNodeColour); });
  Skipping([&] { WorkNode(s).Image("Net"); });
  Skipping([&] { WorkNode(s).Expanded(true); });
  Skipping([&] { WorkNode(s).Selected(true); });
  Skipping([&] { DisplayFor(SelectedNode(s)); });
  Skipping([&] { Browser(s).Navigate(AppFilePath(s, "fp.htm")); });
}

void Nimbo::DisplayFor(const std::shared_ptr<Node>& Node) {
  ControlState& s = *state_;
  s.events->Busy(true);
  std::exception_ptr failure;
  try {
    if (!Node || !s.mTV || !s.mBM) throw Error(err::kObjectNotSet);
    Tree(s).Enabled(false);
    Browser(s).Navigate("about:blank");
    s.NeedChildren = Node->Children() == 0;
    switch (DisplayKind(s, Node)) {
      case Ending::kNormal: Node->EnsureVisible(); break;
      case Ending::kCommon: break;
      case Ending::kReadFailure: s.events->NimboMessage(kReadError); break;
    }
  } catch (...) {
    failure = std::current_exception();
  }
  s.events->Busy(false);
  Skipping([&] { Tree(s).MousePointer(1); });
  Skipping([&] { Tree(s).Enabled(true); });
  if (failure) ReportError(s, AsError(failure));
}

}  // namespace nimbo
