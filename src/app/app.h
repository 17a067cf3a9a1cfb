// Public header of the application core: the engine program's options, settings and entry.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/core.h"
#include "platform/platform.h"

namespace app {

// Options of one engine run. Long options ("--headless") are taken out of the command line
// first; what remains is the text the command-line numbers are read from.
struct LaunchOptions {
  platform::Options platform;
  int32_t ticks = -1;       // --ticks N: stop after N ticks on the virtual clock; -1: no limit
  std::string remainder;    // the command line without the long options, words joined by blanks
  bool showHelp = false;
};

// Parses argv. False with a message in *error for an unknown option or a missing value.
bool ParseLaunchOptions(int argc, const char* const* argv, LaunchOptions* out, std::string* error);
std::string LaunchOptionsHelp();

// The command-line numbers: when the text starts with '/', each '/' is followed by a decimal
// number (C library conversion), then the blanks up to the next '/'; anything else ends the list.
std::vector<int32_t> ParseCommandLineNumbers(const std::string& text);

// Display-mode bits 1..32 and their screens.
struct DisplayModeInfo {
  int32_t code;
  int width;
  int height;
  int bitsPerPixel;
};
// The table entry of a one-bit code; code 1 for anything else.
const DisplayModeInfo& DisplayModeOf(int32_t code);

// config.ini, in the current folder: six user settings and the game's legal display modes.
struct EngineSettings {
  int32_t availableDisplayModes = 63;
  int32_t displayMode = 1;
  int32_t availableRenderingDevices = 3;
  int32_t renderingDevice = 1;
  int32_t sound = 1;
  int32_t soundMixing = 0;
  int32_t legalDisplayModes = 63;
};

// Reads the settings with their defaults (a missing file, key or a value with a bad checksum
// keeps the default), then validates the display modes against the legal ones.
EngineSettings ReadEngineSettings(const std::string& path);
// Writes all seven values back, keeping whatever else the file holds. False on failure.
bool WriteEngineSettings(const std::string& path, const EngineSettings& settings);

// The engine program: returns the process exit code.
int Main(int argc, const char* const* argv);

}  // namespace app

namespace app {

// Working paths, set once at start-up.
struct WorkingPaths {
  std::string working;  // current folder with a trailing '/'
  std::string data;     // working + "data/" beside runmode.ini, else the working folder
  std::string temporary;
};
WorkingPaths MakeWorkingPaths(const std::string& currentFolder, bool hasRunMode);

// Loads the four lookup tables from the data folder into the arena. A missing or short file
// leaves its buffer as it was; the names of such files are returned.
std::vector<std::string> LoadLookupTables(const std::string& dataFolder, core::Arena* arena);

}  // namespace app
