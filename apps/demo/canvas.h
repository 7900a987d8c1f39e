// A small drawing surface for the demo's pictures: shapes filled with smooth edges into an RGBA
// pixel buffer, then encoded as GIF (giflib) or JPEG (libjpeg).
#ifndef NIMBO_APPS_DEMO_CANVAS_H_
#define NIMBO_APPS_DEMO_CANVAS_H_

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace nimbo::app::demo {

// A colour with channels from 0 to 255.
struct Rgb {
  double r = 0;
  double g = 0;
  double b = 0;
};

// Mixes two colours: t = 0 gives a, t = 1 gives b.
Rgb Mix(Rgb a, Rgb b, double t);

// A region of the plane, in pixel units: (0, 0) is the top-left corner of the top-left pixel.
// The box bounds the region, so filling looks only at the pixels under it.
struct Shape {
  std::function<bool(double x, double y)> inside;
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};
// The colour to paint at a point.
using Paint = std::function<Rgb(double x, double y)>;

Shape Circle(double cx, double cy, double radius);
Shape Ellipse(double cx, double cy, double rx, double ry);
// The rectangle from (x0, y0) to (x1, y1) with corners rounded by `radius`.
Shape RoundedRect(double x0, double y0, double x1, double y1, double radius);
// A closed polygon (even-odd rule).
Shape Polygon(std::vector<std::pair<double, double>> points);
Shape Union(Shape a, Shape b);
// The part of `a` outside `b`.
Shape Minus(Shape a, Shape b);
// A colour running from `top` at y0 to `bottom` at y1.
Paint VerticalGradient(Rgb top, Rgb bottom, double y0, double y1);

class Canvas {
 public:
  // A canvas of the given size, fully transparent.
  Canvas(int width, int height);

  int width() const { return width_; }
  int height() const { return height_; }

  // Paints over every pixel by the share of it that lies inside `shape` (sampled 4 x 4 per
  // pixel), so edges come out smooth; `opacity` scales the paint's cover. The paint is taken at
  // the pixel's centre.
  void Fill(const Shape& shape, const Paint& paint, double opacity = 1.0);
  void Fill(const Shape& shape, Rgb colour, double opacity = 1.0);

  // The pixel's colour over an opaque background.
  Rgb Flattened(int x, int y, Rgb background) const;
  // The pixel's cover, from 0 (transparent) to 1.
  double Alpha(int x, int y) const { return pixels_[Index(x, y)].a; }

 private:
  struct Pixel {
    double r = 0, g = 0, b = 0, a = 0;
  };
  int Index(int x, int y) const { return y * width_ + x; }

  int width_;
  int height_;
  std::vector<Pixel> pixels_;
};

// A baseline JPEG of the canvas laid over `background`, at quality 1..100.
// Throws std::runtime_error when the encoder fails.
std::string EncodeJpeg(const Canvas& canvas, int quality, Rgb background);

// A GIF89a of the canvas. Fully transparent pixels become the transparent colour; pixels that are
// partly covered are laid over `matte`, the colour of the page the image will sit on. Throws
// std::runtime_error when the picture has more than 255 colours or the encoder fails.
std::string EncodeGif(const Canvas& canvas, Rgb matte);

}  // namespace nimbo::app::demo

#endif  // NIMBO_APPS_DEMO_CANVAS_H_
