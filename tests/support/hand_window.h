// A window whose input state the caller writes by hand, for routine tests and benchmarks that
// read input without a platform back end. It counts pump passes and records where the pointer
// was put.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace testing_support {

class HandWindow final : public platform::Window {
 public:
  bool Start(std::string*) override { return true; }
  void Shutdown() override {}
  bool VideoStarted() override { return false; }
  platform::DisplayInfo Display() override { return {}; }
  bool OpenControllers() override { return true; }
  bool Show(int, int, const std::string&, std::string*) override { return true; }
  void Close() override {}
  bool IsOpen() const override { return true; }
  void PumpEvents(std::vector<platform::InputEvent>*) override { ++passes; }
  uint64_t PumpPasses() const override { return passes; }
  bool InputMayArrive() const override { return false; }
  const platform::InputState& Input() const override { return state; }
  void SetMousePosition(int x, int y) override {
    setX = x;
    setY = y;
  }
  void ShowCursor(bool) override {}
  int ShowMessageBox(const platform::MessageBoxRequest&) override { return 0; }
  void ShowNotice(const std::string&) override {}
  bool TakeAnswer(platform::BoxAnswer*) override { return false; }
  bool Minimise() override { return false; }

  platform::InputState state;
  uint64_t passes = 0;
  int setX = -1;
  int setY = -1;
};

}  // namespace testing_support
