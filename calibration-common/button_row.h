// The row of three result buttons, "ReCalibrate", "Ok" and "Cancel", as data:
// each calibration tool fills in its own geometry and hit boxes. Pure
// arithmetic, shared by the drawing and the tools' X-free session logic.
#pragma once

#include <array>
#include <cstdint>

namespace lumaro {

enum ButtonIndex : int {
  kNoButton = -1,
  kButtonRecalibrate = 0,
  kButtonOk = 1,
  kButtonCancel = 2,
};

inline constexpr int kButtonCount = 3;
inline constexpr std::array<const char*, kButtonCount> kButtonLabels = {"ReCalibrate", "Ok",
                                                                        "Cancel"};

// Screen arithmetic is unsigned 32-bit, as on the screen's width and height.
struct ButtonRowLayout {
  std::array<std::uint32_t, kButtonCount> left;  // outline's left edge
  std::uint32_t top;                             // common top edge
  std::uint32_t width;                           // outline (and cleared area) size
  std::uint32_t height;
  std::uint32_t fill_width;  // fill drawn at (left + 3, top + 3)
  std::uint32_t fill_height;
  std::array<std::uint32_t, kButtonCount> label_x;  // label baseline origins
  std::uint32_t label_y;
  int line_width;  // outline line width; 0 keeps the GC's current one
  // Hit boxes: hit_left < x < hit_right and hit_top < y < hit_bottom.
  std::array<std::uint32_t, kButtonCount> hit_left;
  std::array<std::uint32_t, kButtonCount> hit_right;
  std::uint32_t hit_top;
  std::uint32_t hit_bottom;
};

// Which rectangle of a button takes its clicks, from the outline's corner.
enum class HitArea { kOutline, kFill };

// A row of `width` x `height` outlines at `left` and `top`, each filled
// (width - 5) x (height - 5) at (left + 3, top + 3), with its label at
// (label_x, label_y).
constexpr ButtonRowLayout MakeButtonRow(std::array<std::uint32_t, kButtonCount> left,
                                        std::uint32_t top, std::uint32_t width,
                                        std::uint32_t height,
                                        std::array<std::uint32_t, kButtonCount> label_x,
                                        std::uint32_t label_y, int line_width, HitArea hit) {
  ButtonRowLayout row{left,    top,        width, height, width - 5, height - 5, label_x,
                      label_y, line_width, left,  {},     top,       0};
  const std::uint32_t hit_width = hit == HitArea::kOutline ? width : row.fill_width;
  for (int i = 0; i < kButtonCount; ++i) row.hit_right[i] = left[i] + hit_width;
  row.hit_bottom = top + (hit == HitArea::kOutline ? height : row.fill_height);
  return row;
}

// The first button (in row order) whose hit box holds (x, y), or kNoButton.
constexpr int HitButton(const ButtonRowLayout& row, std::uint32_t x, std::uint32_t y) {
  if (!(row.hit_top < y && y < row.hit_bottom)) return kNoButton;
  for (int i = 0; i < kButtonCount; ++i) {
    if (row.hit_left[i] < x && x < row.hit_right[i]) return i;
  }
  return kNoButton;
}

}  // namespace lumaro
