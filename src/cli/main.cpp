// Entry of the vexel command.
#include <csignal>

#include "cli/cli.h"

int main(int argc, char** argv) {
  // A file size limit must make a write fail (and the save say so), not end the process.
  std::signal(SIGXFSZ, SIG_IGN);
  return cli::Main(argc, argv);
}
