// Working folders for end-to-end runs of the engine: the authoring skeleton with a run mode, a
// finished game's folder, brains and state dumps.
#pragma once

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/app.h"
#include "model/model.h"
#include "support/run_program.h"

namespace testing_support {

// The skeleton working folder with runmode.ini (run mode `runMode` on the skeleton project, none
// when negative) and a config.ini asking for the software device, which every machine has.
class WorkFolder : public TempFolder {
 public:
  explicit WorkFolder(int runMode, int32_t displayMode = 1) {
    EXPECT_TRUE(CopyFrom(VEXEL_GAME_DIR));
    if (runMode >= 0) {
      EXPECT_TRUE(WriteText(*this / "runmode.ini",
                            "projects/myprj/default.prj\r\n" + std::to_string(runMode) + "\r\n0\r\n0\r\n0\r\n"));
    }
    app::EngineSettings settings;
    settings.renderingDevice = 0;
    settings.displayMode = displayMode;
    EXPECT_TRUE(app::WriteEngineSettings(*this / "config.ini", settings));
  }
};

// A finished game's folder: the tables beside the engine, the software device, and sub-projects
// written scrambled from the skeleton's one-camera project with the given camera brains.
class GameFolder : public TempFolder {
 public:
  GameFolder() {
    EXPECT_TRUE(CopyFrom(VEXEL_DEMO_DIR));
    app::EngineSettings settings;
    settings.renderingDevice = 0;
    EXPECT_TRUE(app::WriteEngineSettings(*this / "config.ini", settings));
  }
  void AddLevel(int number, const std::string& brain) const {
    std::string text = ReadText(std::string(VEXEL_GAME_DIR) + "/projects/myprj/default.prj");
    const size_t at = text.find("@0\r\n");
    ASSERT_NE(at, std::string::npos);
    text = text.substr(0, at + 4) + brain;
    model::ScrambleBytes(&text);
    ASSERT_TRUE(testing_support::WriteText(app::SubProjectPath(path(), number), text));
  }
  std::vector<int32_t> Globals() const {
    const std::string bytes = ReadText(*this / "globvars.dat");
    std::vector<int32_t> values(bytes.size() / 4);
    std::memcpy(values.data(), bytes.data(), values.size() * 4);
    return values;
  }
};

// Replaces the brain of the skeleton project's camera, the text after the project's "@0" line.
inline void SetCameraBrain(const TempFolder& folder, const std::string& brain) {
  const std::string path = folder / "projects/myprj/default.prj";
  std::string text = ReadText(path);
  const size_t at = text.find("@0\r\n");
  ASSERT_NE(at, std::string::npos);
  ASSERT_TRUE(WriteText(path, text.substr(0, at + 4) + brain));
}

// Word w of element `element` in a state dump written by --dump; INT32_MIN when the dump has no such
// element.
inline int32_t DumpWord(const std::string& json, int w, int element = 0) {
  size_t words = std::string::npos;
  for (int e = 0; e <= element; ++e) {
    words = json.find("\"words\": [", words == std::string::npos ? 0 : words + 1);
    if (words == std::string::npos) return INT32_MIN;
  }
  size_t at = words + 10;
  for (int i = 0; i < w; ++i) at = json.find(',', at) + 1;
  return static_cast<int32_t>(std::strtol(json.c_str() + at, nullptr, 10));
}

}  // namespace testing_support
