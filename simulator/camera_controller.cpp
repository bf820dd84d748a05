#include "simulator/camera_controller.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <string>
#include <utility>

#include "driver-interface/blocks.h"
#include "driver-interface/protocol.h"
#include "driver-interface/requests.h"
#include "trace/report_line.h"

namespace lumaro::sim {

CameraController::CameraController(const trace::Trace* trace, SimLog* log, double packet_rate,
                                   FaultOptions faults, bool live)
    : player_(trace, log, packet_rate, faults), log_(log), live_(live) {}

std::size_t CameraController::RequestSize(unsigned long code) {
  const RequestInfo* info = FindTouchRequest(code);
  return info == nullptr ? 0 : info->size;
}

RequestOutcome CameraController::Request(unsigned long code, std::span<std::uint8_t> block) {
  return player_.WithState(
      [&](trace::ControllerState& state) { return Serve(code, block, state); });
}

RequestOutcome CameraController::Serve(unsigned long code, std::span<std::uint8_t> block,
                                       trace::ControllerState& state) {
  const RequestInfo* info = FindTouchRequest(code);
  RequestOutcome outcome;
  const bool injected = player_.InjectRequestFailure();  // counts every request
  if (info == nullptr || block.size() < info->size) {
    outcome = {-1, ENOTTY};
  } else if (state.FailsNow(static_cast<std::uint32_t>(code)) || injected) {
    outcome = {-1, EIO};
  } else if (info->direction == Direction::kOut) {
    std::vector<std::uint8_t> answer;
    if (code == GET_PRODUCT_ID) {
      ProductIdBlock id{};
      product_id::SetValue(id, state.product_id);
      answer.assign(id.begin(), id.end());
    } else if (code == GET_TOUCH_PACKET) {
      // Packets are served by NextPacket(); without the clock none is due.
      outcome = {-1, EAGAIN};
    } else {
      answer = state.Block(static_cast<std::uint32_t>(code), info->size);
    }
    std::copy(answer.begin(), answer.end(), block.begin());
  } else {
    const std::vector<std::uint8_t> in(block.begin(), block.begin() + info->size);
    auto store = [&](unsigned long get_code, const std::vector<std::uint8_t>& bytes) {
      const auto key = static_cast<std::uint32_t>(get_code);
      if (state.Block(key, bytes.size()) != bytes) calibration_changed_ = true;
      state.blocks[key] = bytes;
    };
    switch (code) {
      case SET_CALIB_PARA_X:
        store(GET_CALIB_PARA_X, in);
        break;
      case SET_CALIB_PARA_Y:
        store(GET_CALIB_PARA_Y, in);
        break;
      case SET_DEVICE_CONFIG:
        store(GET_DEVICE_CONFIG, in);
        break;
      case SET_START_CALIB:
        if (calibration_mode_ && in[0] == 0) calibration_left_ = true;
        calibration_mode_ = in[0] != 0;
        calibration_entered_ = calibration_entered_ || calibration_mode_;
        break;
      case DEVICE_RESET:
        if (in[0] == 1) {
          std::vector<std::uint8_t> config = state.Block(GET_DEVICE_CONFIG, kParamBlockSize);
          config[device_config::kCalibStateOffset] = 0;
          store(GET_DEVICE_CONFIG, config);
        }
        break;
      default:
        break;
    }
  }
  std::string line = "ioctl " + std::to_string(code) + " " + std::to_string(outcome.result);
  if (info != nullptr && info->direction == Direction::kIn && block.size() >= info->size) {
    line += ' ';
    line += trace::ToHex(block.data(), info->size);
  }
  log_->Line(line);
  return outcome;
}

ReadStep CameraController::NextRead() {
  using AtPackets = TracePlayer::AtPackets;
  bool in_calibration = false;
  AtPackets at_packets = AtPackets::kPassOver;
  player_.WithState([&](const trace::ControllerState&) {
    in_calibration = calibration_mode_;
    if (live_ && !calibration_left_) at_packets = AtPackets::kStop;
  });
  ReadStep step;
  step.kind = ReadStep::Kind::kNoFrame;
  if (!in_calibration) step = player_.NextRead(at_packets);
  if (step.kind == ReadStep::Kind::kNoFrame) {
    const char* why = in_calibration ? "the controller is in calibration mode"
                                     : "touch packets ahead, for a calibration tool";
    // One line each time the reason changes, not one per read.
    const bool changed = player_.WithState(
        [&](const trace::ControllerState&) { return std::exchange(held_by_, why) != why; });
    if (changed) log_->Line(std::string("reads time out: ") + why);
    return step;
  }
  const bool frame = step.kind == ReadStep::Kind::kFrame && !step.bytes.empty();
  const bool mark = player_.WithState([&](const trace::ControllerState&) {
    held_by_ = nullptr;
    calibration_left_ = false;
    return frame && std::exchange(calibration_changed_, false);
  });
  if (mark) {
    step.bytes[0] = kReinitFrameMarker;
    log_->Line("frame marked for identification: the calibration changed");
  }
  return step;
}

PacketStep CameraController::NextPacket(std::int64_t now_us) {
  const bool sending = player_.WithState(
      [this](const trace::ControllerState&) { return calibration_mode_ || !calibration_entered_; });
  if (sending) return player_.NextPacket(PacedStream::kTouchPackets, now_us);
  PacketStep none;
  none.due_us = std::numeric_limits<std::int64_t>::max();
  return none;
}

void CameraController::OnWrite(std::span<const std::uint8_t> bytes) {
  log_->Line(trace::FormatReportLine(bytes));
}

bool CameraController::calibration_mode() {
  return player_.WithState([this](const trace::ControllerState&) { return calibration_mode_; });
}

}  // namespace lumaro::sim
