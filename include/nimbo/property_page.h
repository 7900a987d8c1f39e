// pPage1: the design-time property page on which ActivePort and DAMode are edited. It is a model
// of the page: its controls (names, captions, positions in twips, tab order) so that a graphical
// host can draw it, and its operations so that any host can drive it.
// Not thread-safe.
#ifndef NIMBO_PROPERTY_PAGE_H_
#define NIMBO_PROPERTY_PAGE_H_

#include <string>
#include <string_view>
#include <vector>

#include "nimbo/export.h"

namespace nimbo {

class Nimbo;

struct NIMBO_API PageControl {
  enum class Kind { kLabel, kTextBox };
  std::string name;
  Kind kind = Kind::kLabel;
  std::string caption;  // labels only
  int left = 0;         // twips (1/1440 inch)
  int top = 0;
  int width = 0;
  int height = 0;
  int tab_index = 0;
};

class NIMBO_API PropertyPage {
 public:
  PropertyPage();

  // "Nimbo Properties".
  const std::string& Caption() const { return caption_; }
  // The four controls, top to bottom.
  const std::vector<PageControl>& Controls() const { return controls_; }

  // The controls being edited; only the first is read and written. The page does not own them.
  void SelectedControls(std::vector<Nimbo*> controls) { selected_ = std::move(controls); }
  const std::vector<Nimbo*>& SelectedControls() const { return selected_; }

  // Whether the page has edits to apply.
  bool Changed() const { return changed_; }
  void Changed(bool value) { changed_ = value; }

  // The text of a text box ("txtActivePort" or "txtDAMode"); raises 9 for any other name.
  const std::string& Text(std::string_view box) const;
  // Types into a text box: sets its text and runs its change handler, marking the page changed.
  void Text(std::string_view box, const std::string& text);

  // The selection changed (also when the page is first shown): loads both boxes from the first
  // selected control. Loading is not an edit, so the page is left unchanged.
  void SelectionChanged();
  // Applies the boxes to the first selected control: DAMode, then ActivePort, each converted by
  // the property. A failed conversion raises its error to the caller; when DAMode fails,
  // ActivePort is not applied, and the page stays changed.
  void ApplyChanges();

  // Change handlers of the two text boxes.
  void txtDAMode_Change() { changed_ = true; }
  void txtActivePort_Change() { changed_ = true; }

 private:
  Nimbo& FirstSelected() const;
  std::string& Box(std::string_view box);

  std::string caption_;
  std::vector<PageControl> controls_;
  std::vector<Nimbo*> selected_;
  std::string txtActivePort_;
  std::string txtDAMode_;
  bool changed_ = false;
};

}  // namespace nimbo

#endif  // NIMBO_PROPERTY_PAGE_H_
