#include "simulator/camera_controller.h"

#include <algorithm>
#include <cerrno>
#include <string>

#include "driver-interface/blocks.h"
#include "driver-interface/requests.h"

namespace lumaro::sim {

CameraController::CameraController(const trace::Trace* trace, SimLog* log)
    : playback_(trace), log_(log) {}

void CameraController::OnOpen() {
  const std::lock_guard<std::mutex> lock(mutex_);
  playback_.ApplyState(&state_);
}

std::size_t CameraController::RequestSize(unsigned long code) {
  const RequestInfo* info = FindTouchRequest(code);
  return info == nullptr ? 0 : info->size;
}

RequestOutcome CameraController::Request(unsigned long code, std::span<std::uint8_t> block) {
  const std::lock_guard<std::mutex> lock(mutex_);
  const RequestInfo* info = FindTouchRequest(code);
  RequestOutcome outcome;
  if (info == nullptr || block.size() < info->size) {
    outcome = {-1, ENOTTY};
  } else if (state_.Fails(static_cast<std::uint32_t>(code))) {
    outcome = {-1, EIO};
  } else if (info->direction == Direction::kOut) {
    std::vector<std::uint8_t> answer;
    if (code == GET_PRODUCT_ID) {
      ProductIdBlock id{};
      product_id::SetValue(id, state_.product_id);
      answer.assign(id.begin(), id.end());
    } else if (code == GET_TOUCH_PACKET) {
      // No touch packets are played on this node: a blocking driver times out.
      outcome = {-1, EAGAIN};
    } else {
      answer = state_.Block(static_cast<std::uint32_t>(code), info->size);
    }
    std::copy(answer.begin(), answer.end(), block.begin());
  } else {
    const std::vector<std::uint8_t> in(block.begin(), block.begin() + info->size);
    switch (code) {
      case SET_CALIB_PARA_X:
        state_.blocks[GET_CALIB_PARA_X] = in;
        break;
      case SET_CALIB_PARA_Y:
        state_.blocks[GET_CALIB_PARA_Y] = in;
        break;
      case SET_DEVICE_CONFIG:
        state_.blocks[GET_DEVICE_CONFIG] = in;
        break;
      case SET_START_CALIB:
        calibration_mode_ = in[0] != 0;
        break;
      case DEVICE_RESET:
        if (in[0] == 1) {
          std::vector<std::uint8_t> config = state_.Block(GET_DEVICE_CONFIG, kParamBlockSize);
          config[device_config::kCalibStateOffset] = 0;
          state_.blocks[GET_DEVICE_CONFIG] = config;
        }
        break;
      default:
        break;
    }
  }
  std::string line = "ioctl " + std::to_string(code) + " " + std::to_string(outcome.result);
  if (info != nullptr && info->direction == Direction::kIn && block.size() >= info->size) {
    line += " " + trace::ToHex(block.data(), info->size);
  }
  log_->Line(line);
  return outcome;
}

ReadStep CameraController::NextRead() {
  const std::lock_guard<std::mutex> lock(mutex_);
  ReadStep step;
  while (true) {
    playback_.ApplyState(&state_);
    const trace::Record* record = playback_.Take();
    if (record == nullptr) {
      step.kind = ReadStep::Kind::kExhausted;
      log_->Line("end of trace");
      return step;
    }
    switch (record->kind) {
      case trace::RecordKind::kWait:
        step.wait_ms += record->value;
        continue;
      case trace::RecordKind::kFrame:
        step.kind = ReadStep::Kind::kFrame;
        step.bytes = record->bytes;
        return step;
      case trace::RecordKind::kReadError:
        step.kind = ReadStep::Kind::kError;
        step.error = static_cast<int>(record->value);
        log_->Line("readerr " + std::to_string(record->value));
        return step;
      case trace::RecordKind::kUnplug:
        step.kind = ReadStep::Kind::kUnplug;
        step.error = ENODEV;
        log_->Line("unplug");
        return step;
      default:
        // Packets and events belong to other requests' streams.
        continue;
    }
  }
}

bool CameraController::StartsUnplugged() {
  const std::lock_guard<std::mutex> lock(mutex_);
  playback_.ApplyState(&state_);
  const trace::Record* record = playback_.Peek();
  if (record == nullptr || record->kind != trace::RecordKind::kUnplug) return false;
  playback_.Take();
  log_->Line("unplug");
  return true;
}

UnpluggedStep CameraController::NextUnplugged() {
  const std::lock_guard<std::mutex> lock(mutex_);
  UnpluggedStep step;
  while (true) {
    playback_.ApplyState(&state_);
    const trace::Record* record = playback_.Take();
    if (record == nullptr) {
      log_->Line("end of trace");
      return step;
    }
    if (record->kind == trace::RecordKind::kWait) {
      step.kind = UnpluggedStep::Kind::kWait;
      step.wait_ms = record->value;
      return step;
    }
    if (record->kind == trace::RecordKind::kPlug) {
      step.kind = UnpluggedStep::Kind::kPlug;
      log_->Line("plug");
      return step;
    }
  }
}

void CameraController::OnWrite(std::span<const std::uint8_t> bytes) {
  log_->Line("report " + trace::ToHex(bytes.data(), bytes.size()));
}

bool CameraController::calibration_mode() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return calibration_mode_;
}

trace::ControllerState CameraController::State() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return state_;
}

}  // namespace lumaro::sim
