// Public header of src/cli/: the vexel command, a companion for people and scripts.
#pragma once

namespace cli {

// Runs one vexel command line; returns the process exit code.
int Main(int argc, const char* const* argv);

}  // namespace cli
