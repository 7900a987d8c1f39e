// The picture record section: the record form with the record's picture, saved next to the page
// as "pic1", in a tall cell beside the form's rows.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "control/app_files.h"
#include "nimbo/record_source.h"
#include "report/section_common.h"
#include "report/section_writers.h"

namespace nimbo {
namespace {

constexpr char kPictureFile[] = "pic1";

// A field whose name begins with "IMG" in any letter case holds a picture.
bool IsPictureField(const Field& field) {
  const std::string& name = field.Name();
  if (name.size() < 3) return false;
  for (int i = 0; i < 3; ++i) {
    const char c = name[static_cast<std::size_t>(i)];
    if (c != "IMG"[i] && c != "img"[i]) return false;
  }
  return true;
}

// Saves the picture's bytes over the picture file through a stream of its own. Raises the
// stream's error for a value that is not bytes (Null included) or a folder that cannot be
// written; a file saved by an earlier field stays.
void SavePicture(const ControlState& s, const Variant& picture) {
  std::shared_ptr<Stream> stream = CreateStream();
  stream->Type(kTypeBinary);
  stream->Open();
  stream->Write(picture);
  stream->SaveToFile(AppFilePath(s, kPictureFile), kSaveCreateOverWrite);
  stream->Close();
}

}  // namespace

void WritePictureSection(ControlState& s, TextFileWriter& page, std::shared_ptr<Recordset>& rs,
                         const std::string& title, std::int32_t section, std::int16_t form) {
  WriteFormFrame(s, page, rs, title, section, [&](std::string& text) {
    const std::vector<FieldPlan> fields = PlanFields(*rs);
    // Every field is counted, the picture's own included: with one picture field the cell spans
    // exactly the form's rows.
    const std::string rowspan = std::to_string(static_cast<int>(fields.size()) - 1);
    for (const FieldPlan& plan : fields) {
      if (!IsPictureField(*plan.field)) continue;
      SavePicture(s, plan.field->Value());
      text += "<TR><TD VALIGN=TOP WIDTH=40% ROWSPAN=";
      text += rowspan;
      text += "><IMG SRC='";
      text += kPictureFile;
      text += "' WIDTH=100%></TD>";
    }
    // Each field's cells end with the start of the next row, so the name cells of the first row
    // sit beside the picture cell.
    for (const FieldPlan& plan : fields) {
      if (IsPictureField(*plan.field)) continue;
      AppendFormCells(s, plan, form, text);
      text += "<tr>";
    }
  });
}

}  // namespace nimbo
