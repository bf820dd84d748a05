// Fuzzes both calibration fits with arbitrary points: any float or double
// values (NaN and infinities included, which may flow into the results), any
// point count and fit type. Nothing may crash or read outside its arrays.
#include <array>
#include <cstring>

#include "calibration-tool/calib_fit.h"
#include "classic-calibration-tool/classic_fit.h"
#include "driver-interface/blocks.h"

namespace {

template <typename T>
T Take(const std::uint8_t*& data, std::size_t& size) {
  T value{};
  const std::size_t n = std::min(size, sizeof value);
  std::memcpy(&value, data, n);
  data += n;
  size -= n;
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::uint8_t type = Take<std::uint8_t>(data, size);
  const std::uint8_t count = Take<std::uint8_t>(data, size);

  // The classic fit: up to 16 points as doubles, a 16-byte span.
  std::array<lumaro::ClassicPoint, 16> touches{}, targets{};
  for (std::size_t i = 0; i < touches.size(); ++i) {
    touches[i] = {Take<double>(data, size), Take<double>(data, size)};
    targets[i] = {Take<double>(data, size), Take<double>(data, size)};
  }
  std::array<std::uint8_t, 16> span{};
  for (std::uint8_t& b : span) b = Take<std::uint8_t>(data, size);
  const std::size_t n = count % (touches.size() + 1);
  std::array<std::uint8_t, 185> result{};
  lumaro::ClassicFit(type, std::span(touches).first(n), std::span(targets).first(n), span, result);

  // The calibration tool's fits: up to 25 points as floats, both modes.
  std::array<float, 25> tx{}, ty{}, rx{}, ry{};
  for (std::size_t i = 0; i < tx.size(); ++i) {
    tx[i] = Take<float>(data, size);
    ty[i] = Take<float>(data, size);
    rx[i] = Take<float>(data, size);
    ry[i] = Take<float>(data, size);
  }
  lumaro::ParamBlock x{}, y{};
  const std::size_t points = count % 26;
  const lumaro::CalibPoints calib{std::span(tx).first(points), std::span(ty).first(points),
                                  std::span(rx).first(points), std::span(ry).first(points)};
  lumaro::FitAxes(calib, x, y, (type & 1) != 0);
  return 0;
}
