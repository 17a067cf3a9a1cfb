// Public header of src/model/: element records, element state records, project files, resource
// kits and ground maps.
//
// The project files and the editor state are read and written by the project-file code; until it
// exists, the functions below keep the state in memory only and report success, so the run modes
// can already call them in the right places.
#pragma once

#include <cstdint>
#include <string>

namespace model {

// The editor state shared with the authoring front end (vexel.ini), line 1 first.
struct EditorState {
  int32_t testViewMode = 0;  // line 1: test-view mode of the test play, 0-3
};

// A loaded project.
struct Project {
  std::string path;
  bool loaded = false;
};

bool ReadEditorState(const std::string& dataFolder, EditorState* state);
bool WriteEditorState(const std::string& dataFolder, const EditorState& state);
bool LoadProject(const std::string& path, Project* project);
bool SaveProject(const Project& project);

}  // namespace model
