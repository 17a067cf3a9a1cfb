// Printed text: brains queue texts and numbers for the frames of the tick, in a colour and one of
// sixteen font slots. Text arguments are read as every text-taking instruction reads them.
//
// | Instruction | Arguments                         | Effect                                              |
// |-------------|-----------------------------------|-----------------------------------------------------|
// | print       | text, font slot, x, y             | queues colour, cell corner and text; an empty text  |
// |             |                                   | queues nothing                                      |
// | print_num   | value, font slot, decimals, x, y  | queues colour, cell corner and number               |
// | color_set   | red, green, blue                  | the colour of later prints (each clamped to 0..255) |
// | font_set    | face, height, weight, font slot   | the slot's font: height > 0 the cell, < 0 the em,   |
// |             |                                   | 0 the default; weight clamped to 0..1000, slot to   |
// |             |                                   | 0..15                                               |
//
// A print that does not fit in the tick's queue is dropped whole.
#include "instructions/text.h"

#include "instructions/arguments.h"

namespace instructions {
namespace {

bool print(brain::Regs* regs, std::string*) {
  state::Engine& engine = state::Current();
  if (engine.play && !TextArgumentView(engine, regs->eax).empty()) {
    engine::PrintedText& text = engine.play->text;
    text.queue.QueueText(text.colour, static_cast<int32_t>(regs->ecx), static_cast<int32_t>(regs->edx), regs->eax,
                         static_cast<int32_t>(regs->ebx));
  }
  regs->eax = 0;
  return true;
}

bool print_num(brain::Regs* regs, std::string*) {
  state::Engine& engine = state::Current();
  if (engine.play) {
    engine::PrintedText& text = engine.play->text;
    text.queue.QueueNumber(text.colour, static_cast<int32_t>(regs->edx), static_cast<int32_t>(regs->esi),
                           static_cast<int32_t>(regs->eax), static_cast<int32_t>(regs->ecx),
                           static_cast<int32_t>(regs->ebx));
  }
  regs->eax = 0;
  return true;
}

bool color_set(brain::Regs* regs, std::string*) {
  state::Engine& engine = state::Current();
  if (engine.play) {
    engine.play->text.SetColour(static_cast<int32_t>(regs->eax), static_cast<int32_t>(regs->ebx),
                                static_cast<int32_t>(regs->ecx));
  }
  regs->eax = 0;
  return true;
}

bool font_set(brain::Regs* regs, std::string*) {
  state::Engine& engine = state::Current();
  if (engine.play) {
    engine.play->text.SetFont(static_cast<int32_t>(regs->edx), TextArgument(engine, regs->eax),
                              static_cast<int32_t>(regs->ebx), static_cast<int32_t>(regs->ecx));
  }
  regs->eax = 0;
  return true;
}

constexpr brain::RoutineEntry kTextRoutines[] = {
    {"print", print},
    {"print_num", print_num},
    {"color_set", color_set},
    {"font_set", font_set},
};

}  // namespace

std::span<const brain::RoutineEntry> TextRoutines() { return kTextRoutines; }

std::string_view PrintedTextOf(const state::Engine& engine, uint32_t text) { return TextArgumentView(engine, text); }

}  // namespace instructions
