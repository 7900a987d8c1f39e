// Drawing the demo's page images and product pictures from simple shapes.
#include "demo/artwork.h"

#include <map>
#include <stdexcept>
#include <string>

#include "demo/canvas.h"

namespace nimbo::app::demo {
namespace {

// The colours of the page head's style sheet, so the images match the pages.
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kAccent{47, 111, 222};       // #2f6fde
constexpr Rgb kAccentSoft{232, 240, 253};  // #e8f0fd
constexpr Rgb kTeal{20, 163, 139};
constexpr Rgb kAmber{242, 169, 59};
constexpr Rgb kPage{238, 241, 245};    // #eef1f5, behind the report
constexpr Rgb kBand{214, 226, 243};    // top of the band behind the page head
constexpr Rgb kBorder{176, 186, 198};  // icon outlines
constexpr Rgb kInk{62, 76, 89};        // #3e4c59

Shape Rect(double x0, double y0, double x1, double y1) {
  return {[=](double x, double y) { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }, x0, y0, x1,
          y1};
}

// A paint that lights an object from the left: lighter at x0, darker at x1.
Paint Shaded(Rgb colour, double x0, double x1) {
  const Rgb light = Mix(colour, kWhite, 0.3);
  const Rgb dark = Mix(colour, kBlack, 0.3);
  return [=](double x, double) {
    const double t = (x - x0) / (x1 - x0);
    return t < 0.35 ? Mix(light, colour, t / 0.35) : Mix(colour, dark, (t - 0.35) / 0.65);
  };
}

std::string Background() {
  // A band that fades from a soft blue into the page colour; repeated across the page.
  Canvas canvas(16, 320);
  canvas.Fill(Rect(0, 0, 16, 320), VerticalGradient(kBand, kPage, 0, 320));
  return EncodeJpeg(canvas, 90, kPage);
}

std::string Bar() {
  // One pixel high: the browser stretches it to each bar's height; the shading across gives
  // the bar a rounded look at any width.
  Canvas canvas(16, 1);
  const Rgb left = Mix(kAccent, kWhite, 0.25);
  const Rgb right = Mix(kAccent, kBlack, 0.15);
  canvas.Fill(Rect(0, 0, 16, 1), [=](double x, double) { return Mix(left, right, x / 16); });
  return EncodeGif(canvas, kWhite);
}

std::string TitleMark() {
  Canvas canvas(14, 14);
  canvas.Fill(Circle(7, 7, 6.5), kAccent);
  canvas.Fill(Circle(7, 7, 2.6), kWhite, 0.9);
  return EncodeGif(canvas, kWhite);
}

std::string ChartIcon() {
  Canvas canvas(22, 22);
  canvas.Fill(RoundedRect(0, 0, 22, 22, 4.5), kAccentSoft);
  canvas.Fill(Rect(4, 10, 8, 18), kAccent);
  canvas.Fill(Rect(9, 5, 13, 18), kTeal);
  canvas.Fill(Rect(14, 8, 18, 18), kAmber);
  canvas.Fill(Rect(3, 18, 19, 19), kInk);
  return EncodeGif(canvas, kWhite);
}

std::string ToggleIcon(bool plus) {
  // Bars on whole pixels, so the sign stays crisp.
  Canvas canvas(14, 14);
  canvas.Fill(RoundedRect(0, 0, 14, 14, 3), kBorder);
  canvas.Fill(RoundedRect(1, 1, 13, 13, 2.2), kWhite);
  canvas.Fill(Rect(3, 6, 11, 8), plus ? kAccent : kInk);
  if (plus) canvas.Fill(Rect(6, 3, 8, 11), kAccent);
  return EncodeGif(canvas, kWhite);
}

Rgb ColourNamed(std::string_view name) {
  static const std::map<std::string_view, Rgb> kColours = {
      {"Sage", {143, 168, 136}},     {"Teal", {42, 127, 130}},  {"Charcoal", {70, 74, 80}},
      {"Terracotta", {196, 98, 62}}, {"Slate", {96, 112, 128}}, {"Ivory", {236, 228, 208}},
      {"Indigo", {58, 73, 138}},     {"Rust", {170, 84, 50}},   {"Natural", {200, 170, 120}},
      {"Ochre", {204, 150, 50}}};
  const auto it = kColours.find(name);
  return it == kColours.end() ? Rgb{150, 150, 150} : it->second;
}

void DrawVase(Canvas& canvas, Rgb colour) {
  const Paint paint = Shaded(colour, 60, 140);
  canvas.Fill(Union(Ellipse(100, 94, 36, 38), RoundedRect(85, 36, 115, 70, 4)), paint);
  canvas.Fill(RoundedRect(79, 30, 121, 39, 4), Shaded(colour, 79, 121));
  canvas.Fill(Ellipse(82, 90, 5, 18), kWhite, 0.22);
}

void DrawPlanter(Canvas& canvas, Rgb colour) {
  const Rgb leaf{79, 154, 85};
  canvas.Fill(Ellipse(80, 44, 11, 20), Mix(leaf, kBlack, 0.15));
  canvas.Fill(Ellipse(120, 44, 11, 20), Mix(leaf, kBlack, 0.15));
  canvas.Fill(Ellipse(100, 36, 12, 26), leaf);
  canvas.Fill(Ellipse(90, 50, 9, 16), Mix(leaf, kWhite, 0.15));
  canvas.Fill(Ellipse(111, 50, 9, 16), Mix(leaf, kWhite, 0.1));
  canvas.Fill(Polygon({{62, 64}, {138, 64}, {126, 130}, {74, 130}}), Shaded(colour, 62, 138));
  canvas.Fill(RoundedRect(56, 56, 144, 70, 3), Shaded(colour, 56, 144));
}

void DrawMug(Canvas& canvas, Rgb colour) {
  canvas.Fill(Minus(Ellipse(126, 88, 21, 23), Ellipse(126, 88, 11, 13)), Mix(colour, kBlack, 0.2));
  canvas.Fill(RoundedRect(62, 46, 128, 130, 9), Shaded(colour, 62, 128));
  canvas.Fill(Ellipse(95, 48, 31, 4), Mix(colour, kWhite, 0.45));
  canvas.Fill(RoundedRect(70, 56, 76, 118, 3), kWhite, 0.18);
}

void DrawLamp(Canvas& canvas, Rgb colour) {
  const Rgb brass{186, 150, 84};
  canvas.Fill(Ellipse(100, 128, 34, 6), Shaded(brass, 66, 134));
  canvas.Fill(RoundedRect(96, 84, 104, 126, 2), Shaded(brass, 96, 104));
  canvas.Fill(Ellipse(100, 86, 40, 10), Rgb{255, 236, 170}, 0.55);
  canvas.Fill(Polygon({{72, 26}, {128, 26}, {148, 86}, {52, 86}}), Shaded(colour, 52, 148));
  canvas.Fill(Rect(52, 83, 148, 86), Mix(colour, kBlack, 0.25));
}

void DrawCloth(Canvas& canvas, Rgb colour) {
  const double folds[][4] = {{44, 96, 156, 124}, {50, 72, 150, 100}, {56, 48, 144, 76}};
  for (const auto& f : folds) {
    canvas.Fill(RoundedRect(f[0], f[1], f[2], f[3], 9), Shaded(colour, f[0], f[2]));
    canvas.Fill(Rect(f[0] + 6, f[1] + 9, f[2] - 6, f[1] + 11), kWhite, 0.35);
    canvas.Fill(Rect(f[0] + 6, f[3] - 9, f[2] - 6, f[3] - 7), kWhite, 0.35);
  }
}

}  // namespace

std::string DrawPageImage(std::string_view name) {
  if (name == "bg.jpg") return Background();
  if (name == "cbg.gif") return Bar();
  if (name == "circle.gif") return TitleMark();
  if (name == "chart.gif") return ChartIcon();
  if (name == "minus.gif") return ToggleIcon(false);
  if (name == "plus.gif") return ToggleIcon(true);
  throw std::invalid_argument("no page image is called " + std::string(name));
}

std::string DrawProductPicture(std::string_view category, std::string_view colour_name) {
  constexpr int kWidth = 200;
  constexpr int kHeight = 150;
  const Rgb colour = ColourNamed(colour_name);
  const Rgb paper{246, 243, 237};
  Canvas canvas(kWidth, kHeight);
  canvas.Fill(Rect(0, 0, kWidth, kHeight),
              VerticalGradient(Mix(paper, colour, 0.10), Mix(paper, colour, 0.24), 0, kHeight));
  canvas.Fill(Ellipse(100, 132, 64, 9), kBlack, 0.12);
  if (category == "DECOR") {
    DrawVase(canvas, colour);
  } else if (category == "GARDN") {
    DrawPlanter(canvas, colour);
  } else if (category == "KITCH") {
    DrawMug(canvas, colour);
  } else if (category == "LIGHT") {
    DrawLamp(canvas, colour);
  } else if (category == "TEXTL") {
    DrawCloth(canvas, colour);
  } else {
    canvas.Fill(Circle(100, 84, 44), Shaded(colour, 56, 144));
  }
  return EncodeJpeg(canvas, 85, paper);
}

}  // namespace nimbo::app::demo
