#include "simulator/camera_controller.h"

#include <algorithm>
#include <cerrno>
#include <string>
#include <utility>

#include "driver-interface/blocks.h"
#include "driver-interface/requests.h"

namespace lumaro::sim {

namespace {

// Microseconds between packets; the clamp keeps the conversion defined for
// any rate (the command line allows above 0 to 1e6).
std::int64_t PeriodUs(double rate) {
  const double period = rate > 0 ? 1e6 / rate : 1e6 / 200.0;
  return static_cast<std::int64_t>(std::clamp(period, 1.0, 1e15));
}

}  // namespace

CameraController::CameraController(const trace::Trace* trace, SimLog* log, double packet_rate)
    : playback_(trace), packet_period_us_(PeriodUs(packet_rate)), log_(log) {}

void CameraController::OnOpen() {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (!pending_packet_) playback_.ApplyState(&state_);
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
      // Packets are served by NextPacket(); without the clock none is due.
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
      LogEndOnce();
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
      LogEndOnce();
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

CameraController::PendingPacket CameraController::TakePacket(std::int64_t now_us) {
  PendingPacket step;
  std::int64_t wait_us = 0;
  while (true) {
    playback_.ApplyState(&state_);
    const trace::Record* record = playback_.Take();
    if (record == nullptr) {
      step.kind = PendingPacket::Kind::kEnd;
      break;
    }
    if (record->kind == trace::RecordKind::kWait) {
      wait_us += std::int64_t{record->value} * 1000;
      continue;
    }
    if (record->kind == trace::RecordKind::kPacket) {
      step.kind = PendingPacket::Kind::kPacket;
      step.bytes = record->bytes;
      break;
    }
    if (record->kind == trace::RecordKind::kUnplug) {
      step.kind = PendingPacket::Kind::kUnplug;
      break;
    }
    // Frames, read errors and events belong to other streams.
  }
  const std::int64_t base = last_packet_due_us_ ? *last_packet_due_us_ + packet_period_us_ : now_us;
  step.due_us = base + wait_us;
  return step;
}

PacketStep CameraController::NextPacket(std::int64_t now_us) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (!pending_packet_) pending_packet_ = TakePacket(now_us);
  PendingPacket& pending = *pending_packet_;
  const bool failing = state_.Fails(static_cast<std::uint32_t>(GET_TOUCH_PACKET));
  PacketStep step;
  step.due_us = pending.due_us;
  if (now_us < pending.due_us) {
    if (failing) {
      step.kind = PacketStep::Kind::kFail;
      step.error = EIO;
      log_->Line("ioctl 192 -1");
    }
    return step;
  }
  switch (pending.kind) {
    case PendingPacket::Kind::kPacket:
      last_packet_due_us_ = pending.due_us;
      if (failing) {
        step.kind = PacketStep::Kind::kFail;
        step.error = EIO;
        log_->Line("ioctl 192 -1");
      } else {
        step.kind = PacketStep::Kind::kPacket;
        step.bytes = std::move(pending.bytes);
        log_->Line("ioctl 192 0");
      }
      pending_packet_.reset();
      return step;
    case PendingPacket::Kind::kUnplug:
      step.kind = PacketStep::Kind::kUnplug;
      step.error = ENODEV;
      last_packet_due_us_.reset();
      pending_packet_.reset();
      log_->Line("unplug");
      log_->Line("ioctl 192 -1");
      return step;
    case PendingPacket::Kind::kEnd:
      // Stays pending: every later request finds the trace over.
      step.kind = PacketStep::Kind::kFail;
      step.error = failing ? EIO : EAGAIN;
      step.trace_over = true;
      LogEndOnce();
      if (failing) log_->Line("ioctl 192 -1");
      return step;
  }
  return step;
}

void CameraController::LogEndOnce() {
  if (end_logged_) return;
  end_logged_ = true;
  log_->Line("end of trace");
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
