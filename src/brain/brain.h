// Public header of src/brain/: Brain instruction table, source reading, expression compiler, code generation, runner and backends.
#pragma once

namespace brain {}  // namespace brain
