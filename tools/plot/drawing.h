// Drawing pieces shared by the debugging pictures (lumaro-plot,
// lumaro-doctor): a cairo canvas, colours, and the reported touch paths on
// the report space.
#pragma once

#include <cairo.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "tools/plot/truth_score.h"

namespace lumaro::tools {

struct Rgb {
  double r, g, b;
};
inline constexpr std::array<Rgb, kReportSlots> kSlotColours{{{0.0, 0.45, 0.70}, {0.84, 0.37, 0.0}}};
inline constexpr double kReportMax = 32767;
inline constexpr double kMarkerRadius = 2;

void SetColour(cairo_t* cr, Rgb c);
void Dot(cairo_t* cr, double x, double y, double radius);

// Report units to pixels: one scale for both axes, so shapes keep their
// proportions; Y grows downwards as on the screen.
struct View {
  double min_x = 0, min_y = 0, scale = 1, left = 0, top = 0;
  double X(double x) const { return left + (x - min_x) * scale; }
  double Y(double y) const { return top + (y - min_y) * scale; }
};

// One slot's reported path: a line through its down records, broken at every
// lift, with a dot on each.
void DrawSlot(cairo_t* cr, const View& view, const std::vector<Report>& reports, std::size_t slot);

// A white RGB picture of a fixed size.
class Canvas {
 public:
  Canvas(int width, int height);
  cairo_t* cr() const { return context_.get(); }
  cairo_surface_t* surface() const { return surface_.get(); }
  // False, with *error set, once drawing has failed.
  bool Ok(std::string* error) const;
  // The picture as PNG bytes.
  bool EncodePng(std::string* png, std::string* error) const;
  bool WritePng(const std::string& path, std::string* error) const;

 private:
  struct SurfaceDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
  };
  struct ContextDeleter {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
  };
  std::unique_ptr<cairo_surface_t, SurfaceDeleter> surface_;
  std::unique_ptr<cairo_t, ContextDeleter> context_;
};

// Frees the font caches that cairo and fontconfig keep for the whole process,
// so that leak checkers see a clean exit. Only when no drawing is under way.
void ReleaseDrawingCaches();

}  // namespace lumaro::tools
