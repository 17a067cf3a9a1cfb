// Brain instruction table, source reading, expression compiler, code generation, runner and backends.
#include "brain/brain.h"

namespace brain {}  // namespace brain
