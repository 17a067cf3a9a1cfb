// Public header of src/brain/: the instruction table, brain source, expression compiler, code
// generation, the brain step and its two backends (reference interpreter, native translation).
#pragma once

#include "brain/compiler.h"
#include "brain/instruction_table.h"
#include "brain/interpreter.h"
#include "brain/runner.h"
#include "brain/symbols.h"
