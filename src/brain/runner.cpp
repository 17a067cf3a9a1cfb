// The brain step and nested brain runs.
#include "brain/runner.h"

#include <algorithm>

#include "brain/instruction_table.h"
#include "model/state_record.h"

namespace brain {

void BindRoutine(std::vector<Routine>* routines, const char* name, Routine routine) {
  if (routines->size() < static_cast<size_t>(kInstructionRowCount)) routines->resize(static_cast<size_t>(kInstructionRowCount));
  const int row = RowOfName(name);
  if (row >= 0) (*routines)[static_cast<size_t>(row)] = std::move(routine);
}
namespace {

int32_t* Record(BrainRuntime* runtime, int32_t element) {
  return runtime->arena->As<int32_t>(core::Region::kElementRecords) + element * model::kRecordWords;
}

// Dispatches a call from brain code to the routine bound to the stub's row.
bool CallRoutine(BrainRuntime* runtime, uint32_t stub, Regs* regs, std::string* fault) {
  const int row = RowOfRoutineAddress(stub);
  if (row < 0) {
    *fault = "Brain called an address that is not an instruction";
    return false;
  }
  const size_t index = static_cast<size_t>(row);
  if (index >= runtime->routines.size() || !runtime->routines[index]) {
    // Instructions of families not built yet answer 0, and say so once per play.
    runtime->missingReported.resize(kInstructionRowCount, false);
    if (!runtime->missingReported[index] && runtime->missingInstruction) {
      runtime->missingInstruction(std::string("Instruction '") + InstructionRowAt(row)->name +
                                  "' is not available in this build");
    }
    runtime->missingReported[index] = true;
    regs->eax = 0;
    return true;
  }
  return runtime->routines[index](regs, fault);
}

bool RunEntry(BrainRuntime* runtime, uint32_t recordAddress, std::string* fault, uint32_t* faultAt = nullptr) {
  const uint8_t* record = runtime->arena->GuestToHostIn(core::Region::kElementRecords, recordAddress, model::kRecordBytes);
  if (record == nullptr) {
    *fault = "Brain run for an address that is not an element";
    return false;
  }
  const auto entry = reinterpret_cast<const int32_t*>(record)[model::kWordBrainEntry];
  Regs regs;
  regs.edi = recordAddress;
  const RoutineCall call = [runtime](uint32_t stub, Regs* r, std::string* text) {
    return CallRoutine(runtime, stub, r, text);
  };
  const auto address = static_cast<uint32_t>(entry);
  if (runtime->backend == Backend::kNative && runtime->native.IsTranslated(address)) {
    return runtime->native.Run(address, &regs, call, runtime->limits, fault, faultAt) == RunResult::kReturned;
  }
  return Interpret(*runtime->arena, address, &regs, call, runtime->limits, fault, faultAt) == RunResult::kReturned;
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

bool RunBrainOf(BrainRuntime* runtime, uint32_t recordAddress, std::string* fault) {
  if (runtime->executeDepth >= kMaxExecuteDepth) {
    *fault = "Brains execute each other more than " + std::to_string(kMaxExecuteDepth) + " deep";
    return false;
  }
  ++runtime->executeDepth;
  const bool ok = RunEntry(runtime, recordAddress, fault);
  --runtime->executeDepth;
  return ok;
}

void RunBrains(BrainRuntime* runtime, const FaultPlace& place) {
  if (runtime->arena == nullptr || runtime->faulted) return;
  const int32_t last = std::min(runtime->lastElement, 255);
  // Picking: the picked element follows what visual_picked_get reports.
  if (runtime->pickedElement != 0) {
    const int row = RowOfName("visual_picked_get");
    Regs regs;
    std::string ignored;
    if (row >= 0 && static_cast<size_t>(row) < runtime->routines.size() && runtime->routines[static_cast<size_t>(row)] &&
        runtime->routines[static_cast<size_t>(row)](&regs, &ignored) && regs.eax != 0) {
      runtime->pickedElement = regs.eax;
    }
  }
  for (int32_t i = 0; i <= last; ++i) Record(runtime, i)[model::kWordStatus] &= ~static_cast<int32_t>(model::kStatusChildOffset);
  const uint32_t firstRecord = runtime->arena->Address(core::Region::kElementRecords);
  for (int32_t i = 0; i <= last; ++i) {
    int32_t* record = Record(runtime, i);
    const auto status = static_cast<uint32_t>(record[model::kWordStatus]);
    if ((status & model::kStatusOn) == 0 || (status & model::kStatusDisabled) != 0) continue;
    std::string fault;
    uint32_t faultAt = 0;
    runtime->executeDepth = 0;
    if (!RunEntry(runtime, firstRecord + static_cast<uint32_t>(i) * model::kRecordBytes, &fault, &faultAt)) {
      runtime->faulted = true;
      if (runtime->runtimeError) runtime->runtimeError(place ? fault + "|" + place(i, faultAt) : fault);
      return;
    }
    ++record[model::kWordTimer];
  }
  ++runtime->tickCounter;
}

}  // namespace brain
