// Fuzz target body: a project text with a .col, loaded, saved, loaded and saved again, all in
// memory. The second save must give exactly the bytes of the first: whatever the input, what the
// loader keeps is stable. Calls model.
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/model.h"
#include "targets.h"

namespace fuzzing {

std::string FuzzProject(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  // An odd first byte brings a .col: the input itself, so short and odd-sized ones are covered.
  std::optional<std::string_view> collision;
  if (size > 0 && (data[0] & 1) != 0) collision = input.substr(0, model::kCollisionMapBytes);

  // Brain files and working copies stay in memory; the folder is only a name paths are made of.
  std::map<std::string, std::string> brainFiles;
  std::vector<uint8_t> map(model::kCollisionMapBytes, 0);
  model::ModelContext context;
  context.workingFolder = "/vexel-fuzz/";
  context.temporaryFile = context.workingFolder + "temp.tmp";
  context.collisionMap = map.data();
  context.brainFiles = &brainFiles;
  context.finishedGame = size > 1 && (data[1] & 1) != 0;

  model::Project project;
  std::string error;
  if (!model::ParseProject(&context, "/vexel-fuzz/in.prj", input, collision, &project, &error)) return {};
  if (project.records.size() > static_cast<size_t>(model::kMaxElements)) {
    return "the project has " + std::to_string(project.records.size()) + " elements";
  }
  std::string first;
  if (!model::ProjectText(&context, project, &first, &error)) return {};
  const std::string firstCollision = model::CollisionBytes(&context, project);

  model::Project again;
  if (!model::ParseProject(&context, "/vexel-fuzz/first.prj", first, firstCollision, &again, &error)) {
    return "the saved project does not load: " + error;
  }
  if (again.records.size() != project.records.size()) {
    return "the saved project has " + std::to_string(again.records.size()) + " elements, not " +
           std::to_string(project.records.size());
  }
  if (again.header != project.header) return "the saved project's header reads back as '" + again.header + "'";
  std::string second;
  if (!model::ProjectText(&context, again, &second, &error)) return "the reloaded project does not save: " + error;
  if (second != first) return "the second save differs from the first";
  if (model::CollisionBytes(&context, again) != firstCollision) return "the second .col differs from the first";
  return {};
}

}  // namespace fuzzing
