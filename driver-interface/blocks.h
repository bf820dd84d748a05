// Layouts of the blocks exchanged with the camera controller's driver:
// named accessors for every field the programs use. A few setters write what
// only the controller writes (a touch packet, a classic event, the classic
// record's raw span): the test doubles that play the controller use them, so
// that each layout is still written down here alone.
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

// /dev/LumaroClassic command channel: a CommandPacket written with
// CLASSIC_CMD_WRITE, a ReplyPacket read with CLASSIC_CMD_READ.
//   command: 0x55, group, target, command, n, n payload bytes, checksum
//            (byte sum of target .. last payload byte);
//   reply:   (unused), status, m, m data bytes.
namespace classic_packet {
inline constexpr std::uint8_t kSync = 0x55;
inline constexpr std::uint8_t kGroupRead = 0x1E;
inline constexpr std::uint8_t kGroupWrite = 0x2D;
inline constexpr std::uint8_t kGroupControl = 0x3C;
inline constexpr std::uint8_t kTargetController = 0x80;
inline constexpr std::uint8_t kCmdBlock = 0xB2;
inline constexpr std::uint8_t kCmdUnitList = 0xAE;
inline constexpr std::uint8_t kCmdPrepareWrite = 0xB1;
// Control commands to the controller target, with 4 and 0 payload bytes,
// that the controller acknowledges and otherwise ignores.
inline constexpr std::uint8_t kCmdControlAA = 0xAA;
inline constexpr std::uint8_t kCmdControlAF = 0xAF;
inline constexpr std::size_t kControlAAPayload = 4;
inline constexpr std::uint8_t kReplyAck = 0x87;
inline constexpr std::uint8_t kReplyData = 0x4B;
inline constexpr std::size_t kHeaderSize = 5;  // sync, group, target, command, length
inline constexpr std::size_t kMaxPayload = kClassicCommandMaxSize - kHeaderSize - 1;  // 58
inline constexpr std::size_t kReplyDataOffset = 3;
using Command = std::array<std::uint8_t, kClassicCommandMaxSize>;
using Reply = std::array<std::uint8_t, kClassicReplySize>;
// The byte count of CLASSIC_CMD_LENGTH: an unsigned 64-bit value.
using Length = std::array<std::uint8_t, kClassicLengthSize>;
inline std::uint8_t Group(const Command& c) {
  return Get<std::uint8_t, 1>(c);
}
inline std::uint8_t Target(const Command& c) {
  return Get<std::uint8_t, 2>(c);
}
inline std::uint8_t Code(const Command& c) {
  return Get<std::uint8_t, 3>(c);
}
inline std::uint8_t PayloadLength(const Command& c) {
  return Get<std::uint8_t, 4>(c);
}
inline std::uint8_t ReplyStatus(const Reply& r) {
  return Get<std::uint8_t, 1>(r);
}
inline std::uint8_t DataLength(const Reply& r) {
  return Get<std::uint8_t, 2>(r);
}
inline std::uint64_t LengthValue(const Length& l) {
  return GetAt<std::uint64_t>(l, 0);
}
inline void SetLengthValue(Length& l, std::uint64_t v) {
  PutAt<std::uint64_t>(l, 0, v);
}
}  // namespace classic_packet

// CLASSIC_TOUCH_READ: byte 0 the event type, then the raw x and y.
namespace classic_event {
inline constexpr std::uint8_t kContact = 7;  // a contact is present
inline constexpr std::uint8_t kRelease = 6;  // the contact was released
using Block = std::array<std::uint8_t, kClassicTouchEventSize>;
inline std::uint8_t Type(const Block& b) {
  return Get<std::uint8_t, 0>(b);
}
inline std::uint16_t X(const Block& b) {
  return Get<std::uint16_t, 2>(b);
}
inline std::uint16_t Y(const Block& b) {
  return Get<std::uint16_t, 4>(b);
}
inline void SetType(Block& b, std::uint8_t v) {
  Put<std::uint8_t, 0>(b, v);
}
inline void SetX(Block& b, std::uint16_t v) {
  Put<std::uint16_t, 2>(b, v);
}
inline void SetY(Block& b, std::uint16_t v) {
  Put<std::uint16_t, 4>(b, v);
}
}  // namespace classic_event

// CLASSIC_CALIB_SET: bytes 0 to 184 the fit result, byte 185 the state.
//   fit result: 0 type, 1..16 span (four float32), 17.. coefficients
//   (float64), 177 scale (float64).
namespace classic_calib {
inline constexpr std::size_t kResultSize = 185;
inline constexpr std::size_t kSpanOffset = 1;
inline constexpr std::size_t kSpanSize = 16;
inline constexpr std::size_t kCoefficientOffset = 17;
inline constexpr std::size_t kScaleOffset = 177;
inline constexpr std::size_t kStateOffset = 185;
inline constexpr std::uint8_t kStateNone = 0;
inline constexpr std::uint8_t kStateComputed = 1;
inline constexpr std::uint8_t kStateCancelled = 2;
using Block = std::array<std::uint8_t, kClassicCalibBlockSize>;
inline std::uint8_t Type(const Block& b) {
  return Get<std::uint8_t, 0>(b);
}
inline std::uint8_t State(const Block& b) {
  return Get<std::uint8_t, kStateOffset>(b);
}
inline void SetState(Block& b, std::uint8_t v) {
  Put<std::uint8_t, kStateOffset>(b, v);
}
}  // namespace classic_calib

// The classic controller's main record (801 bytes, target 0x80) and unit
// records (107 bytes, target 0 to 3), stored in 32-byte blocks.
namespace classic_record {
inline constexpr std::size_t kMainSize = 801;
inline constexpr std::size_t kUnitSize = 107;
inline constexpr std::size_t kBlockSize = 32;
inline constexpr std::size_t kRawSpanOffset = 41;       // x start, x end, y start, y end (float32)
inline constexpr std::size_t kCalibrationOffset = 175;  // fit result, 185 bytes
inline constexpr std::size_t kCalibratedOffset = 360;   // 1: calibration in force
using Main = std::array<std::uint8_t, kMainSize>;
using Unit = std::array<std::uint8_t, kUnitSize>;
inline float RawSpan(const Main& m, int i) {
  if (i < 0 || i > 3) return 0.0f;
  return GetAt<float>(m, kRawSpanOffset + 4 * static_cast<std::size_t>(i));
}
inline void SetRawSpan(Main& m, int i, float v) {
  if (i < 0 || i > 3) return;
  PutAt<float>(m, kRawSpanOffset + 4 * static_cast<std::size_t>(i), v);
}
inline std::uint8_t Calibrated(const Main& m) {
  return Get<std::uint8_t, kCalibratedOffset>(m);
}
inline void SetCalibrated(Main& m, std::uint8_t v) {
  Put<std::uint8_t, kCalibratedOffset>(m, v);
}
}  // namespace classic_record

}  // namespace lumaro
