// config.ini.
#include "app/app.h"
#include "core/core.h"

namespace app {
namespace {

constexpr const char* kUserSection = "User-Modifiable Engine Settings";
constexpr const char* kEngineSection = "Engine Settings";

}  // namespace

EngineSettings ReadEngineSettings(const std::string& path) {
  EngineSettings s;
  core::ProfileFile file;
  file.Load(path);
  file.GetStructInt(kUserSection, "AvailableDisplayModes", &s.availableDisplayModes);
  file.GetStructInt(kUserSection, "DisplayMode", &s.displayMode);
  file.GetStructInt(kUserSection, "AvailableRenderingDevices", &s.availableRenderingDevices);
  file.GetStructInt(kUserSection, "RenderingDevice", &s.renderingDevice);
  file.GetStructInt(kUserSection, "Sound", &s.sound);
  file.GetStructInt(kUserSection, "SoundMixing", &s.soundMixing);
  file.GetStructInt(kEngineSection, "LegalDisplayModes", &s.legalDisplayModes);

  s.legalDisplayModes &= 63;
  if (s.legalDisplayModes == 0) s.legalDisplayModes = 1;
  s.availableDisplayModes &= s.legalDisplayModes;
  s.displayMode &= s.legalDisplayModes;
  if (s.displayMode == 0) s.displayMode = 1;
  return s;
}

bool WriteEngineSettings(const std::string& path, const EngineSettings& s) {
  core::ProfileFile file;
  file.Load(path);
  file.SetStructInt(kUserSection, "AvailableDisplayModes", s.availableDisplayModes);
  file.SetStructInt(kUserSection, "DisplayMode", s.displayMode);
  file.SetStructInt(kUserSection, "AvailableRenderingDevices", s.availableRenderingDevices);
  file.SetStructInt(kUserSection, "RenderingDevice", s.renderingDevice);
  file.SetStructInt(kUserSection, "Sound", s.sound);
  file.SetStructInt(kUserSection, "SoundMixing", s.soundMixing);
  file.SetStructInt(kEngineSection, "LegalDisplayModes", s.legalDisplayModes);
  return file.Save(path);
}

}  // namespace app
