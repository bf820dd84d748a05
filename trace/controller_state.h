// The state of a controller as a trace describes it, and the lazy playback
// cursor that the simulator and the replay tool share, so that a live run and
// a replay see the same controller at every step.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "trace/trace.h"

namespace lumaro::trace {

struct ControllerState {
  std::uint32_t product_id = 0;
  // Blocks by the code of the request that answers them (the blocks of the identification).
  std::map<std::uint32_t, std::vector<std::uint8_t>> blocks;
  // Request codes that fail from now on.
  std::set<std::uint32_t> failing;
  // Classic controller storage: (target, block number) -> 32 bytes.
  std::map<std::pair<std::uint32_t, std::uint32_t>, std::vector<std::uint8_t>> classic_blocks;
  std::uint32_t classic_units = 0;

  // The block answered to request `code`: the one given, or `size` zero bytes.
  std::vector<std::uint8_t> Block(std::uint32_t code, std::size_t size) const;
  // Request codes that fail once more each, the next time they come.
  std::multiset<std::uint32_t> fail_once;
  bool Fails(std::uint32_t code) const { return failing.count(code) != 0; }
  // True when `code` fails now: for good, or once (which this consumes).
  bool FailsNow(std::uint32_t code) {
    if (Fails(code)) return true;
    const auto it = fail_once.find(code);
    if (it == fail_once.end()) return false;
    fail_once.erase(it);
    return true;
  }
};

// Changes the state as one state record says; other records change nothing.
void ApplyStateRecord(const Record& record, ControllerState* state);

// The state as trace records (product, blocks, failures, classic storage), in
// a fixed order, so that a later run can start from it.
std::vector<Record> StateRecords(const ControllerState& state);

// A cursor over a trace's records.
class Playback {
 public:
  explicit Playback(const Trace* trace) : trace_(trace) {}

  // Applies the state records at the cursor, in order, up to the first record
  // of another kind. Called when the node is opened and before each read.
  void ApplyState(ControllerState* state);
  // The record at the cursor, or nullptr at the end.
  const Record* Peek() const;
  // The record at the cursor, moving past it; nullptr at the end.
  const Record* Take();
  bool Exhausted() const { return Peek() == nullptr; }

 private:
  const Trace* trace_;
  std::size_t next_ = 0;
};

}  // namespace lumaro::trace
