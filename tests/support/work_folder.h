// Working folders for end-to-end runs of the engine: the authoring skeleton with a run mode, a
// finished game's folder, brains and state dumps.
#pragma once

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>
#include <vector>

#include "app/app.h"
#include "core/core.h"
#include "model/model.h"
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

// A finished game's folder (a copy of the ring game unless `game` names another) asking for the
// software device, to which sub-projects can be written scrambled from the skeleton's one-camera
// project with the given camera brains.
class GameFolder : public TempFolder {
 public:
  explicit GameFolder(const char* game = VEXEL_RING_GAME_DIR) {
    EXPECT_TRUE(CopyFrom(game));
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

// An element of a test project: the skeleton's camera record with its name and the given fields
// replaced, and its own brain block.
struct TestElement {
  std::string name;
  std::vector<std::pair<int, std::string>> fields;  // field number, text
  std::string brain;
};

// Writes the project at `relative` under the folder (the skeleton's project by default) from the
// skeleton's camera record and settings line, with the given elements.
inline void WriteTestProject(const TempFolder& folder, const std::vector<TestElement>& elements,
                             const std::string& relative = "projects/myprj/default.prj") {
  const std::string skeleton = ReadText(folder / "projects/myprj/default.prj");
  std::string camera;
  std::string settings;
  size_t at = 0;
  std::string_view line;
  while (core::NextLine(skeleton, &at, &line)) {
    if (!camera.empty()) {
      settings = std::string(line);
      break;
    }
    if (!model::ElementField(line, 36).empty()) camera = std::string(line);
  }
  ASSERT_FALSE(camera.empty()) << skeleton;
  std::string text = ";Test project\r\n" + std::to_string(elements.size()) + "\r\n";
  for (const TestElement& element : elements) {
    std::string record = model::SetElementField(camera, 1, element.name);
    for (const auto& [field, value] : element.fields) record = model::SetElementField(record, field, value);
    text += record + "\r\n";
  }
  text += settings + "\r\n";
  for (size_t i = 0; i < elements.size(); ++i) text += "@" + std::to_string(i) + "\r\n" + elements[i].brain;
  ASSERT_TRUE(WriteText(folder / relative, text));
}

}  // namespace testing_support
