// Brain compiler figures: a full project of 256 distinct 300-line brains compiled into the code
// area with CompileAllBrains, the brain files written once into a temporary folder.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "brain/brain.h"
#include "core/core.h"
#include "model/model.h"
#include "support/temp_folder.h"

namespace {

constexpr int kBrains = 256;
constexpr int kBrainLines = 300;
// The code area holds 522240 bytes, about 2040 per brain when all 256 differ. Each brain keeps its
// estimated code below this, so the project fits with room for the estimate's error; lines past
// the budget are the kinds that emit nothing (declarations, labels, comments, blank lines).
constexpr int kCodeBudget = 1450;
constexpr int kPaceSlack = 120;

// Small deterministic generator, so every run compiles the same project.
class Random : public core::XorShift {
 public:
  explicit Random(uint32_t seed) : core::XorShift(seed * 2654435761u + 1) {}
};

struct Call {
  std::string name;
  int params;
};

// Instruction rows usable as calls in generated text. A name starting with "user" would read as
// a parameter declaration at the start of a line, so those rows are left out.
std::vector<Call> UsableCalls() {
  std::vector<Call> calls;
  for (int row = 0; row < brain::kInstructionRowCount; ++row) {
    const brain::InstructionRow* r = brain::InstructionRowAt(row);
    if (r == nullptr || std::string_view(r->name).starts_with("user")) continue;
    calls.push_back(Call{r->name, r->paramCount});
  }
  return calls;
}

// Writes one brain: declarations first, then statements of every kind with the if-blocks and
// labels kept balanced, so the brain compiles cleanly. `b` seeds it; no two brains are equal.
class BrainWriter {
 public:
  BrainWriter(int b, const std::vector<Call>& calls) : b_(b), calls_(calls), random_(static_cast<uint32_t>(b) + 7) {}

  std::string Write() {
    Line("; brain " + std::to_string(b_) + ": generated for the compile benchmark");
    const int variables = 24 + random_.Below(24);
    static const char* const kWords[] = {"speed", "timer", "count", "target", "angle",
                                         "dist",  "hits",  "phase", "ammo",   "score"};
    for (int i = 0; i < variables; ++i) {
      names_.push_back(std::string(kWords[random_.Below(10)]) + "_" + std::to_string(i));
      Line("var " + names_.back() + (random_.Below(4) == 0 ? "   ; " + std::to_string(random_.Below(1000)) : ""));
    }
    static const char* const kUserKinds[] = {"ele", "int", "met", "deg", "vel", "spi"};
    Line("user" + std::string(kUserKinds[b_ % 6]) + " param_" + std::to_string(b_));
    names_.push_back("param_" + std::to_string(b_));
    // A statement adds at most two lines to what the brain will hold once every block is closed
    // and every forward label placed; free lines make up the exact count.
    while (Planned() < kBrainLines - 1) Statement();
    while (Planned() < kBrainLines) Free(std::string(static_cast<size_t>(depth_) * 2, ' '));
    while (depth_ > 0) Close();
    for (const std::string& label : pendingLabels_) Line(label + ":");
    return text_;
  }

 private:
  void Line(const std::string& line) {
    text_ += line + "\r\n";
    ++lines_;
  }
  int Planned() const { return lines_ + depth_ + static_cast<int>(pendingLabels_.size()); }
  const std::string& Var() { return names_[random_.Below(static_cast<int>(names_.size()))]; }
  std::string Constant() {
    switch (random_.Below(6)) {
      case 0: return std::to_string(random_.Below(1 << 20));
      case 1: return "-" + std::to_string(random_.Below(500));
      case 2: return std::to_string(random_.Below(40)) + "mt";
      case 3: return std::to_string(random_.Below(360)) + "dg";
      case 4: return "0x" + std::to_string(random_.Below(9)) + "f";
      default: return std::to_string(random_.Below(100));
    }
  }
  std::string Operand() { return random_.Below(2) == 0 ? Var() : Constant(); }
  std::string Operator() {
    static const char* const kOps[] = {" + ", " - ", " * ", " / ", " and ", " or ", " xor "};
    return kOps[random_.Below(7)];
  }
  std::string Comparison() {
    static const char* const kOps[] = {" = ", " <> ", " < ", " > ", " <= ", " >= "};
    return Var() + kOps[random_.Below(6)] + Operand();
  }
  std::string CallText(int* cost) {
    const Call& call = calls_[random_.Below(static_cast<int>(calls_.size()))];
    std::string text = call.name + "(";
    for (int i = 0; i < call.params; ++i) text += (i > 0 ? ", " : "") + Operand();
    *cost += 5 + 7 * call.params;
    return text + ")";
  }
  void Close() {
    Line(std::string(static_cast<size_t>(depth_ - 1) * 2, ' ') + (random_.Below(3) == 0 ? "end if" : "endif"));
    --depth_;
    elseSeen_.pop_back();
  }
  // Spends `cost` estimated bytes when the budget allows; false leaves the line to a free kind.
  // The budget is paced over the lines so that code and free lines mix through the whole brain.
  bool Spend(int cost) {
    const int paced = kCodeBudget * (Planned() + 1) / kBrainLines + kPaceSlack;
    if (used_ + cost > std::min(paced, kCodeBudget)) return false;
    used_ += cost;
    return true;
  }

  void Statement() {
    const std::string indent(static_cast<size_t>(depth_) * 2, ' ');
    const int kind = random_.Below(20);
    if (kind < 4 && Spend(12)) {
      Line(indent + Var() + " = " + Operand());
    } else if (kind < 6 && Spend(40)) {
      Line(indent + Var() + " = " + Operand() + Operator() + Operand() + Operator() + Operand());
    } else if (kind == 6 && Spend(60)) {
      Line(indent + Var() + " = [" + Operand() + Operator() + Operand() + "] * -[" + Var() + " - " + Constant() + "]");
    } else if (kind < 9) {
      int cost = 7;
      const std::string call = CallText(&cost);
      if (!Spend(cost + (kind == 7 ? 13 : 0))) return Free(indent);
      Line(indent + (kind == 7 ? Var() + " = " + call + " + 1" : call));
    } else if (kind == 9 && depth_ < 6 && Spend(30)) {
      Line(indent + "if " + Comparison() + (random_.Below(2) == 0 ? " and " + Comparison() : ""));
      ++depth_;
      elseSeen_.push_back(false);
    } else if (kind == 10 && depth_ > 0 && !elseSeen_.back() && Spend(5)) {
      Line(std::string(static_cast<size_t>(depth_ - 1) * 2, ' ') + "else");
      elseSeen_.back() = true;
    } else if (kind == 11 && depth_ > 0) {
      Close();
    } else if (kind == 12 && depth_ == 0 && labels_ < 40 && Spend(16)) {
      // A jump forward to a label written later, or back to one already placed.
      const std::string label = "l" + std::to_string(b_) + "_" + std::to_string(labels_++);
      if (random_.Below(2) == 0 || placed_.empty()) {
        Line("goto " + label);
        pendingLabels_.push_back(label);
      } else {
        Line(label + ":");
        Line("goto " + placed_[random_.Below(static_cast<int>(placed_.size()))]);
        placed_.push_back(label);
      }
    } else if (kind == 13 && depth_ == 0 && !pendingLabels_.empty()) {
      Line(pendingLabels_.back() + ":");
      placed_.push_back(pendingLabels_.back());
      pendingLabels_.pop_back();
    } else {
      Free(indent);
    }
  }

  // A line that emits no code.
  void Free(const std::string& indent) {
    switch (random_.Below(4)) {
      case 0: Line(""); break;
      case 1: Line(indent + "; " + Var() + " is checked below"); break;
      case 2:
        if (depth_ == 0 && labels_ < 100) {
          const std::string label = "mark" + std::to_string(b_) + "_" + std::to_string(labels_++);
          Line(label + ":");
          placed_.push_back(label);
          break;
        }
        [[fallthrough]];
      default: Line(indent + ";" + std::string(static_cast<size_t>(random_.Below(30)), '-'));
    }
  }

  int b_;
  const std::vector<Call>& calls_;
  Random random_;
  std::string text_;
  std::vector<std::string> names_;
  std::vector<std::string> pendingLabels_;
  std::vector<std::string> placed_;
  std::vector<bool> elseSeen_;  // per open if-block: its else is written
  int lines_ = 0;
  int depth_ = 0;
  int labels_ = 0;
  int used_ = 0;
};

// The project's brain files in a temporary folder, removed on destruction.
class BrainFolder {
 public:
  BrainFolder() {
    if (!folder_.ok()) return;
    const std::vector<Call> calls = UsableCalls();
    for (int b = 0; b < kBrains; ++b) {
      const std::string file = folder_ / ("brain" + std::to_string(b) + ".bra");
      const std::string text = BrainWriter(b, calls).Write();
      if (!core::WriteFileAtomic(file, text)) return;
      lines_ += static_cast<int>(std::count(text.begin(), text.end(), '\n'));
      project_.records.push_back("element" + std::to_string(b) + "|1|0|" + file + "|");
    }
    ok_ = true;
  }
  bool ok() const { return ok_; }
  int lines() const { return lines_; }
  const model::Project& project() const { return project_; }

 private:
  testing_support::TempFolder folder_{"vexel-bench-compile"};
  model::Project project_;
  bool ok_ = false;
  int lines_ = 0;
};

void BM_CompileAllBrains(benchmark::State& state) {
  BrainFolder folder;
  if (!folder.ok()) {
    state.SkipWithError("could not write the brain files");
    return;
  }
  core::Arena arena;
  brain::CompilerState compiler;
  std::vector<std::string> errors;
  compiler.showErrorBox = [&errors](const std::string& text) { errors.push_back(text); };
  if (!arena.Create() || !brain::BeginCompilation(&compiler, &arena)) {
    state.SkipWithError("no arena");
    return;
  }
  // One checked compilation first: a benchmark of brains that fail measures the wrong thing.
  brain::CompileAllBrains(&compiler, folder.project());
  if (compiler.brainErrorSeen || !errors.empty()) {
    state.SkipWithError(("brain error: " + (errors.empty() ? std::string("?") : errors.front())).c_str());
    return;
  }
  const uint32_t codeBytes = compiler.code.position;
  for (auto _ : state) {
    // Each play start compiles into the same arena with the text buffer set back to its start.
    compiler.stringStoreUsed = 0;
    brain::CompileAllBrains(&compiler, folder.project());
    benchmark::DoNotOptimize(compiler.code.position);
  }
  if (compiler.brainErrorSeen || compiler.code.position != codeBytes) state.SkipWithError("compilations differ");
  state.counters["lines"] = folder.lines();
  state.counters["code_bytes"] = codeBytes;
  state.counters["lines_per_s"] =
      benchmark::Counter(static_cast<double>(folder.lines()), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_CompileAllBrains)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
