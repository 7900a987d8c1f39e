// Building the navigation tree from the navigation rows and the records of node queries.
#include "navigation/navigation_tree.h"

#include <string>
#include <string_view>

#include "data/data_service.h"
#include "data/query_macros.h"
#include "nimbo/error.h"
#include "nimbo/format.h"
#include "nimbo/record_source.h"
#include "platform/binary_text.h"

namespace nimbo {
namespace {

const Variant& Cell(const ControlState& s, int field, int row) { return s.NavRows(field, row); }

// Null as the empty text, bytes as binary (never their raw bytes), anything else in its text
// form.
std::string TextOf(const Variant& value) {
  if (value.IsNull()) return std::string();
  if (value.type() == VarType::kBytes) return BinaryText(value.bytes());
  return value.ToText();
}

bool SameNumber(const Variant& value, std::int32_t id) {
  if (value.IsNull() || value.IsEmpty()) return false;
  if (value.IsNumber()) return value.ToDouble() == id;
  const auto number = ParseNumber(value.IsString() ? value.str() : value.ToText());
  return number && *number == id;
}

std::string TagOf(const ControlState& s, int row) {
  return FormatNumber(Cell(s, nav::kId, row).ToDouble(), "00000") + TextOf(Cell(s, nav::kKind, row));
}

std::string ImageOf(const ControlState& s, int row) {
  const Variant& image = Cell(s, nav::kImage, row);
  return image.IsNull() ? std::string("group") : image.ToText();
}

std::shared_ptr<Node> AddChild(ControlState& s, const std::shared_ptr<Node>& parent,
                               const std::string& key, const std::string& text,
                               const std::string& image, const std::string& tag) {
  auto child = Tree(s).Add(parent, Relationship::kChild, key, text, image);
  s.mNode = child;
  child->Tag(tag);
  child->ForeColor(kNodeColour);
  return child;
}

}  // namespace

bool HasAccess(const ControlState& s, const Variant& access_list) {
  const std::string list = TextOf(access_list);
  if (list.empty()) return true;
  std::string_view rest = list;
  for (;;) {
    const auto colon = rest.find(':');
    const auto number = ParseNumber(rest.substr(0, colon));
    if (number && *number == s.UserRole) return true;
    if (colon == std::string_view::npos) return false;
    rest.remove_prefix(colon + 1);
  }
}

std::optional<int> FindNavRow(const ControlState& s, std::int32_t id) {
  for (int row = 0; row < s.NavRows.row_count(); ++row) {
    if (SameNumber(Cell(s, nav::kId, row), id)) return row;
  }
  return std::nullopt;
}

void PruneSiblings(ControlState& s) {
  try {
    const auto selected = SelectedNode(s);
    const int selected_index = selected->Index();
    const int last_index = selected->LastSibling()->Index();
    auto node = selected->FirstSibling();
    if (node->Index() != selected_index) {
      while (node->Children() > 0) {
        node->Expanded(false);
        Tree(s).Remove(node->Child()->Index());
      }
    }
    while (node->Index() != last_index) {
      auto next = node->Next();
      if (!next) break;
      if (next->Index() != selected_index) {
        while (next->Children() > 0) Tree(s).Remove(next->Child()->Index());
      }
      node = next;
    }
  } catch (const std::exception&) {
    // Pruning only saves memory; a tree it cannot walk is left as it is.
  }
  try {
    Tree(s).Refresh();
  } catch (const std::exception&) {
  }
}

void AddFolderChildren(ControlState& s, const std::shared_ptr<Node>& node, std::int32_t id) {
  if (!s.NeedChildren) return;
  for (int row = 0; row < s.NavRows.row_count(); ++row) {
    if (!SameNumber(Cell(s, nav::kParent, row), id)) continue;
    const std::string key =
        FormatNumber(Cell(s, nav::kId, row).ToDouble(), "0000000000") + "F";
    AddChild(s, node, key, TextOf(Cell(s, nav::kCaption, row)), ImageOf(s, row), TagOf(s, row));
  }
}

bool ReadNodeQuery(ControlState& s, int query_row) {
  const std::string query = "EXEC " + TextOf(Cell(s, nav::kProcedure, query_row)) +
                            ExpandMacros(s, TextOf(Cell(s, nav::kMacro, query_row)));
  return ReadData(s, query, s.mRS);
}

void AddRecordChildren(ControlState& s, const std::shared_ptr<Node>& node,
                       std::optional<int> template_row) {
  const std::string tag = template_row ? TagOf(s, *template_row) : std::string("00000");
  const std::string image = template_row ? ImageOf(s, *template_row) : std::string();
  if (!s.mRS) throw Error(err::kObjectNotSet);
  Recordset& rs = *s.mRS;
  const Fields& fields = rs.Fields();
  for (; !rs.Eof(); rs.MoveNext()) {
    if (!s.NeedChildren) continue;  // the records are walked to the end either way
    const Variant record_key = fields.Item(0).Value();
    // The node count makes the key unique even when two records share their key value.
    const std::string key =
        Format(record_key, "0000000000") + "G" + std::to_string(Tree(s).Count());
    AddChild(s, node, key, TextOf(fields.Item(1).Value()), image, tag);
  }
  node->Expanded(true);
}

}  // namespace nimbo
