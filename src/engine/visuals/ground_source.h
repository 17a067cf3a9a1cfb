// The .3ds source of a boundary ground map, read with the visuals' .3ds reader into plain ground
// triangles. Calls the 3DS reader, model and core.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/model.h"

namespace engine {

struct GroundSource {
  bool found = false;    // the file could be read
  bool isModel = false;  // the .3ds reader accepts it as a model
  uint32_t checksum = 0;  // model::GroundSourceChecksum of its bytes (0 when not found)
  std::vector<model::GroundTriangle> triangles;  // its faces in file order, millimetres (y up)
};

// Reads the source at `path`. A file that is no model yields no triangles: the caller builds
// nothing rather than a map of some stand-in model.
GroundSource ReadGroundSource(const std::string& path);

}  // namespace engine
