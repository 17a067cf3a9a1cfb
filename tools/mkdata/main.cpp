// mkdata ROOT: writes a working-folder skeleton with the engine's data files under ROOT.
// mkdata --finished ROOT: writes the ring game, a finished game whose data files sit beside the
// engine.
// mkdata --demo ROOT: writes the skeleton and the bundled game's generated assets, the working
// folder its projects are built from.
#include <cstdio>
#include <cstring>
#include <string>

#include "core/core.h"
#include "mkdata/mkdata.h"

int main(int argc, char** argv) {
  const bool finished = argc == 3 && std::strcmp(argv[1], "--finished") == 0;
  const bool demo = argc == 3 && std::strcmp(argv[1], "--demo") == 0;
  if (argc != 2 && !finished && !demo) {
    std::fprintf(stderr, "usage: mkdata [--finished | --demo] ROOT\n");
    return 2;
  }
  std::string root = argv[argc - 1];
  if (root.empty() || root.back() != '/') root += '/';
  const std::string data = finished ? root : root + "data/";
  if (!core::MakeFolders(data)) {
    std::fprintf(stderr, "mkdata: cannot create %s\n", data.c_str());
    return 1;
  }
  if (!mkdata::WriteTables(data) || !mkdata::WriteHoods(data) || !mkdata::WriteEditorFonts(data) ||
      !mkdata::WriteSkins(data, finished)) return 1;
  if (finished) return mkdata::WriteRingGame(root) ? 0 : 1;
  if (!mkdata::WritePlaceholders(root)) return 1;
  return demo && !mkdata::WriteDemoAssets(root) ? 1 : 0;
}
