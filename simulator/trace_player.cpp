#include "simulator/trace_player.h"

#include <algorithm>
#include <cerrno>
#include <string>

#include "driver-interface/requests.h"

namespace lumaro::sim {

namespace {

// Microseconds between packets; the clamp keeps the conversion defined for
// any rate (the command line allows above 0 to 1e6).
std::int64_t PeriodUs(double rate) {
  const double period = rate > 0 ? 1e6 / rate : 1e6 / 200.0;
  return static_cast<std::int64_t>(std::clamp(period, 1.0, 1e15));
}

trace::RecordKind ItemKind(PacedStream stream) {
  return stream == PacedStream::kTouchPackets ? trace::RecordKind::kPacket
                                              : trace::RecordKind::kEvent;
}

unsigned long RequestCode(PacedStream stream) {
  return stream == PacedStream::kTouchPackets ? GET_TOUCH_PACKET : CLASSIC_TOUCH_READ;
}

}  // namespace

TracePlayer::TracePlayer(const trace::Trace* trace, SimLog* log, double packet_rate,
                         FaultOptions faults)
    : playback_(trace), period_us_(PeriodUs(packet_rate)), log_(log), faults_(faults) {}

bool TracePlayer::InjectRequestFailure() {
  // Called with the state lock held (from a request being served).
  if (faults_.fail_every <= 0) return false;
  if (++requests_served_ % faults_.fail_every != 0) return false;
  log_->Line("injected request failure");
  return true;
}

void TracePlayer::OnOpen() {
  const std::lock_guard<std::mutex> lock(mutex_);
  const bool held = std::any_of(paced_.begin(), paced_.end(),
                                [](const Paced& paced) { return paced.pending.has_value(); });
  if (!held) playback_.ApplyState(&state_);
}

ReadStep TracePlayer::NextRead(AtPackets at_packets) {
  const std::lock_guard<std::mutex> lock(mutex_);
  ReadStep step;
  while (true) {
    playback_.ApplyState(&state_);
    const trace::Record* next = playback_.Peek();
    if (at_packets == AtPackets::kStop && next != nullptr &&
        next->kind == trace::RecordKind::kPacket) {
      step.kind = ReadStep::Kind::kNoFrame;
      return step;
    }
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
        if (faults_.short_read_every > 0 && ++frames_served_ % faults_.short_read_every == 0) {
          // The driver hands over only part of the frame.
          step.bytes.resize(std::max<std::size_t>(1, step.bytes.size() / 2));
          log_->Line("short read " + std::to_string(step.bytes.size()) + " of " +
                     std::to_string(record->bytes.size()));
        }
        return step;
      case trace::RecordKind::kReadZero:
        step.kind = ReadStep::Kind::kZero;
        log_->Line("readzero");
        return step;
      case trace::RecordKind::kReadError:
        step.kind = ReadStep::Kind::kError;
        step.error = static_cast<int>(record->value);
        log_->Line("readerr " + std::to_string(record->value));
        return step;
      case trace::RecordKind::kUnplug:
        step.kind = ReadStep::Kind::kUnplug;
        step.error = ENODEV;
        for (Paced& paced : paced_) paced.last_due_us.reset();
        log_->Line("unplug");
        return step;
      default:
        // Packets and events belong to other requests' streams.
        continue;
    }
  }
}

bool TracePlayer::StartsUnplugged() {
  const std::lock_guard<std::mutex> lock(mutex_);
  playback_.ApplyState(&state_);
  const trace::Record* record = playback_.Peek();
  if (record == nullptr || record->kind != trace::RecordKind::kUnplug) return false;
  playback_.Take();
  log_->Line("unplug");
  return true;
}

UnpluggedStep TracePlayer::NextUnplugged() {
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

TracePlayer::Pending TracePlayer::Take(PacedStream stream, std::int64_t now_us) {
  const trace::RecordKind item = ItemKind(stream);
  Pending step;
  std::int64_t wait_us = 0;
  while (true) {
    playback_.ApplyState(&state_);
    const trace::Record* record = playback_.Take();
    if (record == nullptr) {
      step.kind = Pending::Kind::kEnd;
      break;
    }
    if (record->kind == trace::RecordKind::kWait) {
      wait_us += std::int64_t{record->value} * 1000;
      continue;
    }
    if (record->kind == item) {
      step.kind = Pending::Kind::kPacket;
      step.bytes = record->bytes;
      break;
    }
    if (record->kind == trace::RecordKind::kUnplug) {
      step.kind = Pending::Kind::kUnplug;
      break;
    }
    // Records of the other streams are passed over.
  }
  const std::optional<std::int64_t>& last = paced_[static_cast<std::size_t>(stream)].last_due_us;
  const std::int64_t base = last ? *last + period_us_ : now_us;
  step.due_us = base + wait_us;
  return step;
}

PacketStep TracePlayer::NextPacket(PacedStream stream, std::int64_t now_us) {
  const std::lock_guard<std::mutex> lock(mutex_);
  Paced& paced = paced_[static_cast<std::size_t>(stream)];
  if (!paced.pending) paced.pending = Take(stream, now_us);
  Pending& pending = *paced.pending;
  const unsigned long code = RequestCode(stream);
  const std::string failed_line = "ioctl " + std::to_string(code) + " -1";
  const bool failing = state_.Fails(static_cast<std::uint32_t>(code));
  PacketStep step;
  step.due_us = pending.due_us;
  if (now_us < pending.due_us) {
    if (failing) {
      step.kind = PacketStep::Kind::kFail;
      step.error = EIO;
      log_->Line(failed_line);
    }
    return step;
  }
  switch (pending.kind) {
    case Pending::Kind::kPacket:
      paced.last_due_us = pending.due_us;
      if (failing) {
        step.kind = PacketStep::Kind::kFail;
        step.error = EIO;
        log_->Line(failed_line);
      } else {
        step.kind = PacketStep::Kind::kPacket;
        step.bytes = std::move(pending.bytes);
        log_->Line("ioctl " + std::to_string(code) + " 0");
      }
      paced.pending.reset();
      return step;
    case Pending::Kind::kUnplug:
      step.kind = PacketStep::Kind::kUnplug;
      step.error = ENODEV;
      for (Paced& any : paced_) any.last_due_us.reset();
      paced.pending.reset();
      log_->Line("unplug");
      log_->Line(failed_line);
      return step;
    case Pending::Kind::kEnd:
      // Stays pending: every later request finds the trace over.
      step.kind = PacketStep::Kind::kFail;
      step.error = failing ? EIO : EAGAIN;
      step.trace_over = true;
      LogEndOnce();
      if (failing) log_->Line(failed_line);
      return step;
  }
  return step;
}

void TracePlayer::LogEndOnce() {
  if (end_logged_) return;
  end_logged_ = true;
  log_->Line("end of trace");
}

trace::ControllerState TracePlayer::State() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return state_;
}

}  // namespace lumaro::sim
