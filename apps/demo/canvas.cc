// Shapes, smooth filling, and the GIF and JPEG encoders of the demo's drawing surface.
#include "demo/canvas.h"

#include <gif_lib.h>
#include <jpeglib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>

namespace nimbo::app::demo {
namespace {

constexpr int kSamples = 4;  // per pixel and axis

std::uint8_t Channel(double value) {
  return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

}  // namespace

Rgb Mix(Rgb a, Rgb b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Shape Circle(double cx, double cy, double radius) { return Ellipse(cx, cy, radius, radius); }

Shape Ellipse(double cx, double cy, double rx, double ry) {
  return {[=](double x, double y) {
            const double dx = (x - cx) / rx;
            const double dy = (y - cy) / ry;
            return dx * dx + dy * dy <= 1.0;
          },
          cx - rx, cy - ry, cx + rx, cy + ry};
}

Shape RoundedRect(double x0, double y0, double x1, double y1, double radius) {
  return {[=](double x, double y) {
            if (x < x0 || x > x1 || y < y0 || y > y1) return false;
            // Inside unless in a corner square and outside that corner's circle.
            const double cx = std::clamp(x, x0 + radius, x1 - radius);
            const double cy = std::clamp(y, y0 + radius, y1 - radius);
            const double dx = x - cx;
            const double dy = y - cy;
            return dx * dx + dy * dy <= radius * radius;
          },
          x0, y0, x1, y1};
}

Shape Polygon(std::vector<std::pair<double, double>> points) {
  Shape shape;
  shape.x0 = shape.y0 = 1e9;
  shape.x1 = shape.y1 = -1e9;
  for (const auto& [x, y] : points) {
    shape.x0 = std::min(shape.x0, x);
    shape.y0 = std::min(shape.y0, y);
    shape.x1 = std::max(shape.x1, x);
    shape.y1 = std::max(shape.y1, y);
  }
  shape.inside = [points = std::move(points)](double x, double y) {
    bool inside = false;
    for (std::size_t i = 0, j = points.size() - 1; i < points.size(); j = i++) {
      const auto [xi, yi] = points[i];
      const auto [xj, yj] = points[j];
      if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) inside = !inside;
    }
    return inside;
  };
  return shape;
}

Shape Union(Shape a, Shape b) {
  Shape shape;
  shape.x0 = std::min(a.x0, b.x0);
  shape.y0 = std::min(a.y0, b.y0);
  shape.x1 = std::max(a.x1, b.x1);
  shape.y1 = std::max(a.y1, b.y1);
  shape.inside = [a = std::move(a.inside), b = std::move(b.inside)](double x, double y) {
    return a(x, y) || b(x, y);
  };
  return shape;
}

Shape Minus(Shape a, Shape b) {
  Shape shape{nullptr, a.x0, a.y0, a.x1, a.y1};
  shape.inside = [a = std::move(a.inside), b = std::move(b.inside)](double x, double y) {
    return a(x, y) && !b(x, y);
  };
  return shape;
}

Paint VerticalGradient(Rgb top, Rgb bottom, double y0, double y1) {
  return [=](double, double y) {
    return Mix(top, bottom, std::clamp((y - y0) / (y1 - y0), 0.0, 1.0));
  };
}

Canvas::Canvas(int width, int height)
    : width_(width), height_(height), pixels_(static_cast<std::size_t>(width) * height) {}

void Canvas::Fill(const Shape& shape, Rgb colour, double opacity) {
  Fill(
      shape, [colour](double, double) { return colour; }, opacity);
}

void Canvas::Fill(const Shape& shape, const Paint& paint, double opacity) {
  const int px0 = std::max(0, static_cast<int>(std::floor(shape.x0)));
  const int py0 = std::max(0, static_cast<int>(std::floor(shape.y0)));
  const int px1 = std::min(width_ - 1, static_cast<int>(std::ceil(shape.x1)));
  const int py1 = std::min(height_ - 1, static_cast<int>(std::ceil(shape.y1)));
  for (int y = py0; y <= py1; ++y) {
    for (int x = px0; x <= px1; ++x) {
      int hits = 0;
      for (int sy = 0; sy < kSamples; ++sy) {
        for (int sx = 0; sx < kSamples; ++sx) {
          if (shape.inside(x + (sx + 0.5) / kSamples, y + (sy + 0.5) / kSamples)) ++hits;
        }
      }
      if (hits == 0) continue;
      const double a = opacity * hits / (kSamples * kSamples);
      const Rgb c = paint(x + 0.5, y + 0.5);
      Pixel& p = pixels_[Index(x, y)];
      // Paint laid over what is there ("source over"), colours kept unpremultiplied.
      const double out = a + p.a * (1 - a);
      p.r = (c.r * a + p.r * p.a * (1 - a)) / out;
      p.g = (c.g * a + p.g * p.a * (1 - a)) / out;
      p.b = (c.b * a + p.b * p.a * (1 - a)) / out;
      p.a = out;
    }
  }
}

Rgb Canvas::Flattened(int x, int y, Rgb background) const {
  const Pixel& p = pixels_[Index(x, y)];
  return Mix(background, {p.r, p.g, p.b}, p.a);
}

namespace {

// libjpeg reports a fatal error by calling error_exit, which must not return; it jumps back to
// the encoder's entry point.
struct JpegError {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

void JpegErrorExit(j_common_ptr info) {
  std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}

// Compresses packed RGB rows; false when libjpeg failed. Kept free of C++ objects with
// destructors, since a libjpeg error leaves it by longjmp.
bool CompressRgb(const unsigned char* rgb, int width, int height, int quality, unsigned char** out,
                 unsigned long* out_size) {
  jpeg_compress_struct info{};
  JpegError error{};
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = JpegErrorExit;
  if (setjmp(error.jump)) {
    jpeg_destroy_compress(&info);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, out, out_size);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<unsigned char*>(rgb) + info.next_scanline * 3 * width;
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return true;
}

int WriteToString(GifFileType* gif, const GifByteType* bytes, int length) {
  static_cast<std::string*>(gif->UserData)->append(reinterpret_cast<const char*>(bytes), length);
  return length;
}

[[noreturn]] void GifFailed(int code) {
  throw std::runtime_error(std::string("GIF encoder: ") + GifErrorString(code));
}

}  // namespace

std::string EncodeJpeg(const Canvas& canvas, int quality, Rgb background) {
  std::vector<unsigned char> rgb;
  rgb.reserve(static_cast<std::size_t>(canvas.width()) * canvas.height() * 3);
  for (int y = 0; y < canvas.height(); ++y) {
    for (int x = 0; x < canvas.width(); ++x) {
      const Rgb c = canvas.Flattened(x, y, background);
      rgb.push_back(Channel(c.r));
      rgb.push_back(Channel(c.g));
      rgb.push_back(Channel(c.b));
    }
  }
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  const bool ok = CompressRgb(rgb.data(), canvas.width(), canvas.height(), quality, &buffer, &size);
  std::string jpeg = ok ? std::string(reinterpret_cast<const char*>(buffer), size) : std::string();
  std::free(buffer);  // jpeg_mem_dest allocates with malloc
  if (!ok) throw std::runtime_error("JPEG encoder failed");
  return jpeg;
}

std::string EncodeGif(const Canvas& canvas, Rgb matte) {
  // Index 0 is the transparent colour; the others are the picture's colours in order of
  // first appearance.
  std::vector<GifColorType> colours{{255, 255, 255}};
  std::map<std::array<std::uint8_t, 3>, GifPixelType> index_of;
  std::vector<GifPixelType> pixels;
  pixels.reserve(static_cast<std::size_t>(canvas.width()) * canvas.height());
  bool transparent = false;
  for (int y = 0; y < canvas.height(); ++y) {
    for (int x = 0; x < canvas.width(); ++x) {
      if (canvas.Alpha(x, y) < 1.0 / 512) {
        pixels.push_back(0);
        transparent = true;
        continue;
      }
      const Rgb c = canvas.Flattened(x, y, matte);
      const std::array<std::uint8_t, 3> key{Channel(c.r), Channel(c.g), Channel(c.b)};
      auto [it, added] = index_of.try_emplace(key, static_cast<GifPixelType>(colours.size()));
      if (added) {
        if (colours.size() == 256) throw std::runtime_error("GIF picture has too many colours");
        colours.push_back({key[0], key[1], key[2]});
      }
      pixels.push_back(it->second);
    }
  }
  // A colour table holds a power of two entries, at least two.
  int bits = 1;
  while ((1u << bits) < colours.size()) ++bits;
  colours.resize(std::size_t{1} << bits, GifColorType{0, 0, 0});

  std::string gif_bytes;
  int error = 0;
  GifFileType* gif = EGifOpen(&gif_bytes, WriteToString, &error);
  if (gif == nullptr) GifFailed(error);
  ColorMapObject* map = GifMakeMapObject(static_cast<int>(colours.size()), colours.data());
  bool ok = map != nullptr;
  EGifSetGifVersion(gif, true);
  ok = ok && EGifPutScreenDesc(gif, canvas.width(), canvas.height(), bits, 0, map) == GIF_OK;
  if (ok && transparent) {
    GraphicsControlBlock control{};
    control.DisposalMode = DISPOSAL_UNSPECIFIED;
    control.UserInputFlag = false;
    control.DelayTime = 0;
    control.TransparentColor = 0;
    GifByteType extension[4];
    const std::size_t length = EGifGCBToExtension(&control, extension);
    ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), extension) ==
         GIF_OK;
  }
  ok = ok && EGifPutImageDesc(gif, 0, 0, canvas.width(), canvas.height(), false, nullptr) == GIF_OK;
  for (int y = 0; ok && y < canvas.height(); ++y) {
    ok = EGifPutLine(gif, pixels.data() + static_cast<std::size_t>(y) * canvas.width(),
                     canvas.width()) == GIF_OK;
  }
  if (!ok) error = gif->Error;
  GifFreeMapObject(map);
  int close_error = 0;
  if (EGifCloseFile(gif, &close_error) != GIF_OK && ok) {
    ok = false;
    error = close_error;
  }
  if (!ok) GifFailed(error);
  return gif_bytes;
}

}  // namespace nimbo::app::demo
