// The colours of the calibration screens: the ten palette slots allocated by
// name at start-up, and the raw grey of a button at rest.
#pragma once

#include <array>
#include <cstddef>

namespace lumaro {

inline constexpr std::size_t kPaletteSize = 10;

// Slot names in slot order; the last three are empty and never drawn with.
inline constexpr std::array<const char*, kPaletteSize> kPaletteNames = {
    "BLACK", "WHITE", "RED", "YELLOW", "GREEN", "BLUE", "#40C0C0", "", "", ""};

enum PaletteSlot : std::size_t {
  kPaletteBlack = 0,  // background, button outlines and labels
  kPaletteWhite = 1,  // texts and crosshair
  kPaletteRed = 2,    // fill of a pressed button
};

// Allocated pixel values, one per slot.
using Palette = std::array<unsigned long, kPaletteSize>;

// Fill of a button at rest: a raw pixel value used as is on every visual, not
// allocated (light grey on 24-bit TrueColor).
inline constexpr unsigned long BUTTON_GREY = 0xA4A4A4;

}  // namespace lumaro
