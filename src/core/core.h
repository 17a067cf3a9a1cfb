// Public header of the core: guest memory, files and profile files. Other folders include this.
#pragma once

#include "core/arena.h"
#include "core/files.h"
#include "core/profile.h"
