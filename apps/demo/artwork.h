// The demo's pictures, drawn by the program: the six images report pages use, and one picture per
// product in the product's colour and the shape of its category.
#ifndef NIMBO_APPS_DEMO_ARTWORK_H_
#define NIMBO_APPS_DEMO_ARTWORK_H_

#include <array>
#include <string>
#include <string_view>

namespace nimbo::app::demo {

// The file names of the page images, in the order DrawPageImage knows them.
inline constexpr std::array<std::string_view, 6> kPageImageNames = {
    "bg.jpg", "cbg.gif", "circle.gif", "chart.gif", "minus.gif", "plus.gif"};

// The bytes of one page image: bg.jpg (the soft band behind the page), cbg.gif (a chart bar,
// stretched to each bar's size), circle.gif (the mark before section titles), chart.gif (the
// icon that shows a chart), plus.gif and minus.gif (open and close a row of a drill-down table).
// Throws std::invalid_argument for another name.
std::string DrawPageImage(std::string_view name);

// A JPEG picture of a product: the shape of its category ("DECOR" a vase, "GARDN" a planter,
// "KITCH" a mug, "LIGHT" a lamp, "TEXTL" folded cloth, anything else a ball) in the named
// colour (Sage, Teal, Charcoal, Terracotta, Slate, Ivory, Indigo, Rust, Natural, Ochre; any
// other name is drawn grey).
std::string DrawProductPicture(std::string_view category, std::string_view colour);

}  // namespace nimbo::app::demo

#endif  // NIMBO_APPS_DEMO_ARTWORK_H_
