// Element records, element state records, project files, resource kits and ground maps.
#include "model/model.h"

namespace model {}  // namespace model
