// Public header of src/instructions/: The brain instruction library, one file per family.
#pragma once

namespace instructions {}  // namespace instructions
