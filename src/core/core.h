// Public header of the core: guest memory, files, profile files, JSON strings, printable text and
// the random source. Other folders include this.
#pragma once

#include "core/arena.h"
#include "core/files.h"
#include "core/json.h"
#include "core/profile.h"
#include "core/random.h"
#include "core/text.h"
