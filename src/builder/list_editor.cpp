// The list editor's actions on the project list and the game title, each written at once. Calls
// src/model (the editor state) and src/core.
#include <utility>

#include "builder/builder.h"
#include "core/core.h"
#include "model/model.h"

namespace builder {

ListEditor::ListEditor(std::string workingFolder, std::string dataFolder)
    : working_(std::move(workingFolder)), data_(std::move(dataFolder)), list_(DefaultList(working_)) {}

void ListEditor::Open() {
  ReadList(CurrentListPath(working_), working_, &list_);
  model::EditorState state;
  model::ReadEditorState(working_, data_, &state);
  title_ = state.curpaths[kTitleLine - 1].substr(0, kTitleBytes);
  page_ = 0;
}

bool ListEditor::Write() const { return WriteList(CurrentListPath(working_), list_, working_); }

bool ListEditor::SetColumn(int position, int column, const std::string& path) {
  if (position < 1 || position > kListPositions) return false;
  ListEntry& entry = list_[static_cast<size_t>(position - 1)];
  switch (column) {
    case 1: entry.loading = path; break;
    case 2: entry.loadComplete = path; break;
    case 3: entry.project = path; break;
    case 5: entry.cutScene = path; break;
    default: return false;
  }
  return Write();
}

bool ListEditor::Toggle(int position) {
  if (position < 1 || position > kListPositions) return false;
  list_[static_cast<size_t>(position - 1)].on = !list_[static_cast<size_t>(position - 1)].on;
  return Write();
}

bool ListEditor::Reset() {
  list_ = DefaultList(working_);
  return Write();
}

bool ListEditor::Load(const std::string& listFile) {
  Write();
  ProjectList loaded;
  if (!ReadList(listFile, working_, &loaded)) return false;  // a list that cannot be read changes nothing
  list_ = loaded;
  return Write();
}

bool ListEditor::SavedListExists(const std::string& name) const { return core::FileExists(SavedListPath(working_, name)); }

bool ListEditor::Save(const std::string& name) {
  // A name is one file name in multilev/: no folders, nothing empty.
  if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") return false;
  Write();
  return WriteList(SavedListPath(working_, name), list_, working_);
}

bool ListEditor::SetTitle(const std::string& title) {
  title_ = title.substr(0, kTitleBytes);
  model::EditorState state;
  model::ReadEditorState(working_, data_, &state);
  state.curpaths[kTitleLine - 1] = title_;
  return model::WriteEditorState(data_, state);
}

}  // namespace builder
