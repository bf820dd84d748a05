#include "trace/controller_state.h"

namespace lumaro::trace {

std::vector<std::uint8_t> ControllerState::Block(std::uint32_t code, std::size_t size) const {
  const auto it = blocks.find(code);
  if (it == blocks.end()) return std::vector<std::uint8_t>(size, 0);
  std::vector<std::uint8_t> block = it->second;
  block.resize(size, 0);
  return block;
}

void ApplyStateRecord(const Record& record, ControllerState* state) {
  switch (record.kind) {
    case RecordKind::kProduct:
      state->product_id = record.value;
      break;
    case RecordKind::kBlock:
      state->blocks[record.value] = record.bytes;
      break;
    case RecordKind::kFail:
      state->failing.insert(record.value);
      break;
    case RecordKind::kFailOnce:
      state->fail_once.insert(record.value);
      break;
    case RecordKind::kClassicBlock:
      state->classic_blocks[{record.value, record.index}] = record.bytes;
      break;
    case RecordKind::kClassicUnits:
      state->classic_units = record.value;
      break;
    default:
      break;
  }
}

std::vector<Record> StateRecords(const ControllerState& state) {
  std::vector<Record> records;
  Record product;
  product.kind = RecordKind::kProduct;
  product.value = state.product_id;
  records.push_back(product);
  for (const auto& [code, bytes] : state.blocks) {
    Record block;
    block.kind = RecordKind::kBlock;
    block.value = code;
    block.bytes = bytes;
    records.push_back(block);
  }
  for (std::uint32_t code : state.failing) {
    Record fail;
    fail.kind = RecordKind::kFail;
    fail.value = code;
    records.push_back(fail);
  }
  for (std::uint32_t code : state.fail_once) {
    Record fail;
    fail.kind = RecordKind::kFailOnce;
    fail.value = code;
    records.push_back(fail);
  }
  if (!state.classic_blocks.empty() || state.classic_units != 0) {
    Record units;
    units.kind = RecordKind::kClassicUnits;
    units.value = state.classic_units;
    records.push_back(units);
  }
  for (const auto& [key, bytes] : state.classic_blocks) {
    Record block;
    block.kind = RecordKind::kClassicBlock;
    block.value = key.first;
    block.index = key.second;
    block.bytes = bytes;
    records.push_back(block);
  }
  return records;
}

void Playback::ApplyState(ControllerState* state) {
  while (const Record* record = Peek()) {
    if (!IsStateRecord(record->kind)) return;
    ApplyStateRecord(*record, state);
    ++next_;
  }
}

const Record* Playback::Peek() const {
  if (trace_ == nullptr || next_ >= trace_->records.size()) return nullptr;
  return &trace_->records[next_];
}

const Record* Playback::Take() {
  const Record* record = Peek();
  if (record != nullptr) ++next_;
  return record;
}

}  // namespace lumaro::trace
