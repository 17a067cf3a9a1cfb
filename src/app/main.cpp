// Entry of the engine program.
#include <csignal>

#include "app/app.h"

int main(int argc, char** argv) {
  // A file size limit must make a write fail (and the save say so), not end the process.
  std::signal(SIGXFSZ, SIG_IGN);
  return app::Main(argc, argv);
}
