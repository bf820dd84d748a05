// Layouts of the blocks exchanged with the camera controller's driver:
// named accessors for every field the programs use.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "driver-interface/byte_fields.h"
#include "driver-interface/requests.h"

namespace lumaro {

using ParamBlock = std::array<std::uint8_t, kParamBlockSize>;
using DeviceInfoBlock = std::array<std::uint8_t, kDeviceInfoSize>;
using ProductIdBlock = std::array<std::uint8_t, kProductIdSize>;

// GET_PRODUCT_ID: one uint32.
namespace product_id {
inline std::uint32_t Value(const ProductIdBlock& b) {
  return Get<std::uint32_t, 0>(b);
}
inline void SetValue(ProductIdBlock& b, std::uint32_t v) {
  Put<std::uint32_t, 0>(b, v);
}
}  // namespace product_id

// GET_DEVICE_INFO.
namespace device_info {
inline constexpr std::size_t kSizeOffset = 7;
inline std::uint8_t ProductSeries(const DeviceInfoBlock& b) {
  return Get<std::uint8_t, 1>(b);
}
// The NUL-terminated size text; a text without its NUL ends with the block.
std::string SizeText(const DeviceInfoBlock& b);
}  // namespace device_info

// GET_GEOMETRY.
namespace geometry {
inline std::uint8_t Pos(const ParamBlock& b) {
  return Get<std::uint8_t, 0>(b);
}
inline std::int32_t DeviceWidth(const ParamBlock& b) {
  return Get<std::int32_t, 2>(b);
}
inline std::int32_t DeviceHeight(const ParamBlock& b) {
  return Get<std::int32_t, 6>(b);
}
inline std::int32_t RatioDen(const ParamBlock& b) {
  return Get<std::int32_t, 10>(b);
}
inline std::int32_t RatioNum(const ParamBlock& b) {
  return Get<std::int32_t, 14>(b);
}
inline std::int32_t OriginY(const ParamBlock& b) {
  return Get<std::int32_t, 18>(b);
}
inline std::int32_t OriginX(const ParamBlock& b) {
  return Get<std::int32_t, 22>(b);
}
inline std::int32_t ExtentX(const ParamBlock& b) {
  return Get<std::int32_t, 26>(b);
}
inline std::int32_t Guard30(const ParamBlock& b) {
  return Get<std::int32_t, 30>(b);
}
inline float Guard34(const ParamBlock& b) {
  return Get<float, 34>(b);
}
}  // namespace geometry

// GET_LENS_A and GET_LENS_B share one layout.
namespace lens {
inline constexpr int kCoefficientCount = 9;  // c0 .. c8
inline std::uint8_t Orientation(const ParamBlock& b) {
  return Get<std::uint8_t, 0>(b);
}
inline std::int32_t PixelStart(const ParamBlock& b) {
  return Get<std::int32_t, 2>(b);
}
inline std::int32_t PixelEnd(const ParamBlock& b) {
  return Get<std::int32_t, 6>(b);
}
// c0 .. c8 at offsets 10, 14, ... 42; 0 for an index outside 0 .. 8.
inline float Coefficient(const ParamBlock& b, int i) {
  if (i < 0 || i >= kCoefficientCount) return 0.0f;
  return GetAt<float>(b, 10 + 4 * static_cast<std::size_t>(i));
}
inline float Gain(const ParamBlock& b) {
  return Get<float, 46>(b);
}
}  // namespace lens

// GET_CALIB_PARA_X / _Y and their SET counterparts: ten float32 terms, in the
// order v^3, u*v^2, u^2*v, u^3, v^2, u*v, u^2, v, u, 1; bytes 40 to 57 are
// carried along unchanged.
namespace calib {
inline constexpr int kCoefficientCount = 10;
inline constexpr int kTermU = 8;  // index of the coefficient of u (offset 32)
inline constexpr int kTermV = 7;  // index of the coefficient of v (offset 28)
inline float Coefficient(const ParamBlock& b, int i) {
  if (i < 0 || i >= kCoefficientCount) return 0.0f;
  return GetAt<float>(b, 4 * static_cast<std::size_t>(i));
}
inline void SetCoefficient(ParamBlock& b, int i, float v) {
  if (i < 0 || i >= kCoefficientCount) return;
  PutAt<float>(b, 4 * static_cast<std::size_t>(i), v);
}
}  // namespace calib

// GET_DEVICE_CONFIG / SET_DEVICE_CONFIG.
namespace device_config {
inline constexpr std::size_t kCalibStateOffset = 10;
inline std::uint16_t AreaLeft(const ParamBlock& b) {
  return Get<std::uint16_t, 2>(b);
}
inline std::uint16_t AreaTop(const ParamBlock& b) {
  return Get<std::uint16_t, 4>(b);
}
inline std::uint16_t AreaRight(const ParamBlock& b) {
  return Get<std::uint16_t, 6>(b);
}
inline std::uint16_t AreaBottom(const ParamBlock& b) {
  return Get<std::uint16_t, 8>(b);
}
inline std::uint8_t CalibState(const ParamBlock& b) {
  return Get<std::uint8_t, 10>(b);
}
inline void SetAreaRight(ParamBlock& b, std::uint16_t v) {
  Put<std::uint16_t, 6>(b, v);
}
inline void SetAreaBottom(ParamBlock& b, std::uint16_t v) {
  Put<std::uint16_t, 8>(b, v);
}
inline void SetCalibState(ParamBlock& b, std::uint8_t v) {
  Put<std::uint8_t, 10>(b, v);
}
}  // namespace device_config

// A touch report written to /dev/lumaro: one 6-byte contact record per slot.
namespace report {
struct Contact {
  std::uint8_t slot;
  std::uint8_t down;
  std::uint16_t x;
  std::uint16_t y;
};
// Contact i of a report, or false when the report has no record i.
bool ReadContact(std::span<const std::uint8_t> report, std::size_t i, Contact* out);
// Writes contact i into the report; false when it does not fit.
bool WriteContact(std::span<std::uint8_t> report, std::size_t i, const Contact& c);
}  // namespace report

// GET_TOUCH_PACKET: byte 1 the packet type, then the contact's raw x and y.
namespace touch_packet {
inline constexpr std::uint8_t kContact = 7;  // a contact is down (touch-down or movement)
inline constexpr std::uint8_t kRelease = 6;  // the contact was lifted
using Block = std::array<std::uint8_t, kTouchPacketSize>;
inline std::uint8_t Type(const Block& b) {
  return Get<std::uint8_t, 1>(b);
}
inline std::int16_t X(const Block& b) {
  return Get<std::int16_t, 2>(b);
}
inline std::int16_t Y(const Block& b) {
  return Get<std::int16_t, 4>(b);
}
inline void SetType(Block& b, std::uint8_t v) {
  Put<std::uint8_t, 1>(b, v);
}
inline void SetX(Block& b, std::int16_t v) {
  Put<std::int16_t, 2>(b, v);
}
inline void SetY(Block& b, std::int16_t v) {
  Put<std::int16_t, 4>(b, v);
}
}  // namespace touch_packet

}  // namespace lumaro
