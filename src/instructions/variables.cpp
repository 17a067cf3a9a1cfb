// Global variable instructions.
#include "instructions/variables.h"

#include "model/globals.h"

namespace instructions {

void BindVariables(std::vector<brain::Routine>* routines, core::Arena* arena) {
  auto* globals = arena->As<int32_t>(core::Region::kGlobals);
  auto slot = [globals](uint32_t number) -> int32_t& { return globals[number & (model::kGlobalCount - 1)]; };
  brain::BindRoutine(routines, "global", [slot](brain::Regs* regs, std::string*) {
    regs->eax = static_cast<uint32_t>(slot(regs->eax));
    return true;
  });
  brain::BindRoutine(routines, "global_set", [slot](brain::Regs* regs, std::string*) {
    slot(regs->eax) = static_cast<int32_t>(regs->ebx);
    return true;
  });
  brain::BindRoutine(routines, "global_add", [slot](brain::Regs* regs, std::string*) {
    int32_t& value = slot(regs->eax);
    value = static_cast<int32_t>(static_cast<uint32_t>(value) + regs->ebx);  // wraps like the 32-bit add
    return true;
  });
}

}  // namespace instructions
