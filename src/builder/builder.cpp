// Stand-alone game builder.
#include "builder/builder.h"

namespace builder {}  // namespace builder
