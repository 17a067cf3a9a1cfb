// Project and editor-state entry points (in-memory until the file formats are built).
#include "model/model.h"

namespace model {

bool ReadEditorState(const std::string& dataFolder, EditorState* state) {
  *state = EditorState{};
  return true;
}

bool WriteEditorState(const std::string& dataFolder, const EditorState& state) { return true; }

bool LoadProject(const std::string& path, Project* project) {
  project->path = path;
  project->loaded = true;
  return true;
}

bool SaveProject(const Project& project) { return true; }

}  // namespace model
