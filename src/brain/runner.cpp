// The brain step, nested brain runs and the binding of instruction routines to their slots.
#include "brain/runner.h"

#include <algorithm>

#include "brain/faults.h"
#include "brain/instruction_table.h"
#include "model/model.h"

namespace brain {

int RoutineSlotOf(std::string_view name) {
  const InstructionRow* row = InstructionRowAt(RowOfName(name));
  return row != nullptr ? row->routineId : -1;
}

bool BindRoutines(std::span<const RoutineEntry> entries, RoutineSlots* slots, std::vector<std::string>* problems) {
  if (slots->size() < static_cast<size_t>(kInstructionRowCount)) slots->resize(static_cast<size_t>(kInstructionRowCount), nullptr);
  bool clean = true;
  for (const RoutineEntry& entry : entries) {
    const int slot = RoutineSlotOf(entry.name);
    if (slot < 0 || entry.routine == nullptr) {
      problems->push_back(std::string("'") + entry.name + "' is not an instruction");
      clean = false;
    } else if ((*slots)[static_cast<size_t>(slot)] != nullptr) {
      problems->push_back(std::string("'") + entry.name + "' is bound twice (its routine is bound as '" +
                          InstructionRowAt(slot)->name + "' already)");
      clean = false;
    } else {
      (*slots)[static_cast<size_t>(slot)] = entry.routine;
    }
  }
  return clean;
}

bool CallRoutine(BrainRuntime* runtime, uint32_t stub, Regs* regs, std::string* fault) {
  // The routine's slot is its first row, which is what the stub address encodes.
  const int slot = RowOfRoutineAddress(stub);
  if (slot < 0) {
    *fault = FaultText<Fault::kNotAnInstruction>();
    return false;
  }
  const size_t index = static_cast<size_t>(slot);
  if (index >= runtime->routines.size() || runtime->routines[index] == nullptr) {
    // Instructions of families not built yet answer 0, and say so once per runtime.
    runtime->missingReported.resize(kInstructionRowCount, false);
    if (!runtime->missingReported[index] && runtime->missingInstruction) {
      runtime->missingInstruction(std::string("Instruction '") + InstructionRowAt(slot)->name +
                                  "' is not available in this build");
    }
    runtime->missingReported[index] = true;
    regs->eax = 0;
    return true;
  }
  return runtime->routines[index](regs, fault);
}

namespace {

int32_t WrappingIncrement(int32_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value) + 1u); }

int32_t* Record(BrainRuntime* runtime, int32_t element) {
  return runtime->arena->As<int32_t>(core::Region::kElementRecords) + element * model::kRecordWords;
}

// Runs the brain entry of one record; its final EAX goes to *result when it returns normally.
bool RunEntry(BrainRuntime* runtime, uint32_t recordAddress, std::string* fault, uint32_t* faultAt = nullptr,
              uint32_t* result = nullptr) {
  const uint8_t* record = runtime->arena->GuestToHostIn(core::Region::kElementRecords, recordAddress, model::kRecordBytes);
  if (record == nullptr) {
    *fault = FaultText<Fault::kNotAnElement>();
    return false;
  }
  const auto entry = reinterpret_cast<const int32_t*>(record)[model::kWordBrainEntry];
  Regs regs;
  regs.edi = recordAddress;
  const RoutineCall call = [runtime](uint32_t stub, Regs* r, std::string* text) {
    return CallRoutine(runtime, stub, r, text);
  };
  const auto address = static_cast<uint32_t>(entry);
  const RunResult ran = runtime->backend == Backend::kNative && runtime->native.IsTranslated(address)
                            ? runtime->native.Run(address, &regs, call, runtime->limits, fault, faultAt)
                            : Interpret(*runtime->arena, address, &regs, call, runtime->limits, fault, faultAt);
  if (ran != RunResult::kReturned) return false;
  if (result != nullptr) *result = regs.eax;
  return true;
}

}  // namespace

int PrepareBrains(BrainRuntime* runtime, std::vector<std::string>* refused) {
  runtime->native.Forget();
  if (runtime->backend != Backend::kNative || runtime->arena == nullptr) return 0;
  int fallbacks = 0;
  const int32_t last = std::min(runtime->lastElement, 255);
  for (int32_t i = 0; i <= last; ++i) {
    const auto entry = static_cast<uint32_t>(Record(runtime, i)[model::kWordBrainEntry]);
    if (runtime->native.IsTranslated(entry)) continue;
    std::string error;
    if (!runtime->native.Translate(*runtime->arena, entry, &error)) {
      ++fallbacks;
      if (refused != nullptr) refused->push_back(error);
    }
  }
  return fallbacks;
}

bool RunBrainOf(BrainRuntime* runtime, uint32_t recordAddress, std::string* fault, uint32_t* result) {
  if (runtime->executeDepth >= kMaxExecuteDepth) {
    *fault = FaultText<Fault::kExecuteTooDeep>(kMaxExecuteDepth);
    return false;
  }
  ++runtime->executeDepth;
  const bool ok = RunEntry(runtime, recordAddress, fault, nullptr, result);
  --runtime->executeDepth;
  return ok;
}

void RunBrains(BrainRuntime* runtime, const FaultPlace& place) {
  if (runtime->arena == nullptr || runtime->faulted) return;
  const int32_t last = std::min(runtime->lastElement, 255);
  NetworkHooks* network = runtime->network;
  if (network != nullptr) network->BeforeElements();
  // Picking: the picked element follows what visual_picked_get reports.
  if (runtime->pickedElement != 0 && runtime->pickRoutine != nullptr) {
    Regs regs;
    std::string ignored;
    if (runtime->pickRoutine(&regs, &ignored) && regs.eax != 0) runtime->pickedElement = regs.eax;
  }
  for (int32_t i = 0; i <= last; ++i) Record(runtime, i)[model::kWordStatus] &= ~static_cast<int32_t>(model::kStatusChildOffset);
  const uint32_t firstRecord = runtime->arena->Address(core::Region::kElementRecords);
  for (int32_t i = 0; i <= last; ++i) {
    int32_t* record = Record(runtime, i);
    if (network != nullptr) network->BeforeBrain(i, record);
    const auto status = static_cast<uint32_t>(record[model::kWordStatus]);
    if ((status & model::kStatusOn) == 0 || (status & model::kStatusDisabled) != 0) {
      if (network != nullptr) network->AfterBrain(i, record);
      continue;
    }
    std::string fault;
    uint32_t faultAt = 0;
    runtime->executeDepth = 0;
    if (!RunEntry(runtime, firstRecord + static_cast<uint32_t>(i) * model::kRecordBytes, &fault, &faultAt)) {
      runtime->faulted = true;
      if (runtime->runtimeError) runtime->runtimeError(place ? fault + "|" + place(i, faultAt) : fault);
      return;
    }
    // Both counts wrap as 32-bit words do: a brain may set its timer to any value, and a long run
    // passes 2^31 steps.
    record[model::kWordTimer] = WrappingIncrement(record[model::kWordTimer]);
    if (network != nullptr) network->AfterBrain(i, record);
  }
  if (network != nullptr) network->AfterElements();
  runtime->tickCounter = WrappingIncrement(runtime->tickCounter);
}

}  // namespace brain
