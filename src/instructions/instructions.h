// Public header of src/instructions/: the brain instruction library, one file per family.
#pragma once

#include "instructions/motion.h"
#include "instructions/variables.h"
