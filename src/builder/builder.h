// Public header of src/builder/: Stand-alone game builder.
#pragma once

namespace builder {}  // namespace builder
