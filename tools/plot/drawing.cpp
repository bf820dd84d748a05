#include "tools/plot/drawing.h"

#include <fontconfig/fontconfig.h>

#include "cli/cli.h"

namespace lumaro::tools {

void SetColour(cairo_t* cr, Rgb c) {
  cairo_set_source_rgb(cr, c.r, c.g, c.b);
}

void Dot(cairo_t* cr, double x, double y, double radius) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, x, y, radius, 0, 2 * 3.141592653589793);
  cairo_fill(cr);
}

void DrawSlot(cairo_t* cr, const View& view, const std::vector<Report>& reports, std::size_t s) {
  SetColour(cr, kSlotColours[s]);
  cairo_set_line_width(cr, 1.5);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  bool drawing = false;
  for (const Report& report : reports) {
    const report::Contact& c = report[s];
    if (c.down != 1) {
      drawing = false;  // a lift breaks the path
      continue;
    }
    if (drawing) {
      cairo_line_to(cr, view.X(c.x), view.Y(c.y));
    } else {
      cairo_move_to(cr, view.X(c.x), view.Y(c.y));
    }
    drawing = true;
  }
  cairo_stroke(cr);
  for (const Report& report : reports) {
    if (report[s].down == 1) Dot(cr, view.X(report[s].x), view.Y(report[s].y), kMarkerRadius);
  }
}

Canvas::Canvas(int width, int height)
    : surface_(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height)),
      context_(cairo_create(surface_.get())) {
  cairo_set_source_rgb(cr(), 1, 1, 1);
  cairo_paint(cr());
}

bool Canvas::Ok(std::string* error) const {
  if (cairo_status(cr()) == CAIRO_STATUS_SUCCESS) return true;
  *error = std::string("cannot draw: ") + cairo_status_to_string(cairo_status(cr()));
  return false;
}

bool Canvas::EncodePng(std::string* png, std::string* error) const {
  cairo_surface_flush(surface());
  png->clear();
  const cairo_status_t status = cairo_surface_write_to_png_stream(
      surface(),
      [](void* closure, const unsigned char* data, unsigned int length) {
        static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
        return CAIRO_STATUS_SUCCESS;
      },
      png);
  if (status != CAIRO_STATUS_SUCCESS) {
    *error = std::string("cannot encode the PNG: ") + cairo_status_to_string(status);
    return false;
  }
  return true;
}

bool Canvas::WritePng(const std::string& path, std::string* error) const {
  // Encoded whole first: the file is replaced only by a complete picture.
  std::string png;
  return EncodePng(&png, error) && cli::WriteFileAtomically(path, png, error);
}

void ReleaseDrawingCaches() {
  cairo_debug_reset_static_data();
  FcFini();
}

}  // namespace lumaro::tools
