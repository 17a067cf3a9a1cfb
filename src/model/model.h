// Public header of src/model/: Element records, element state records, project files, resource kits and ground maps.
#pragma once

namespace model {}  // namespace model
