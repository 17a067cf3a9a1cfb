// The brain instruction library, one file per family.
#include "instructions/instructions.h"

namespace instructions {}  // namespace instructions
