// The vexel command: subcommand dispatch, help and the option parsing the commands share. The
// project and file commands live in project_commands.cpp, the brain commands in
// brain_commands.cpp, vexel play in play_command.cpp, the ground maps in ground_command.cpp, the
// WAV files in sound_command.cpp, the boxes in widget_command.cpp.
#include "cli/cli.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/core.h"

namespace cli {

// project_commands.cpp; each takes the arguments after its command word and returns the exit code.
int ProjectCommand(int argc, const char* const* argv);
int ScrambleCommand(int argc, const char* const* argv, bool scramble);
// brain_commands.cpp.
int BrainCommand(int argc, const char* const* argv);
// play_command.cpp.
int PlayCommand(int argc, const char* const* argv);
// visual_command.cpp.
int VisualCommand(int argc, const char* const* argv);
// ground_command.cpp.
int GroundCommand(int argc, const char* const* argv);
// sound_command.cpp.
int SoundCommand(int argc, const char* const* argv);
// build_command.cpp.
int BuildCommand(int argc, const char* const* argv);
// widget_command.cpp.
int WidgetCommand(int argc, const char* const* argv);

namespace {

constexpr const char* kUsage =
    "usage: vexel COMMAND [ARGS]\n"
    "commands:\n"
    "  arena                    list the engine memory regions with their guest addresses\n"
    "  project show FILE        list the elements of a project file\n"
    "  project resave IN OUT    load a project and save it again (with its .col)\n"
    "  project records FILE     the state records a play starts from (ranges off), by word name\n"
    "  brain compile FILE [--hex] [--listing] [--json]\n"
    "                           compile one brain as a play would: error box text, code bytes,\n"
    "                           a listing disassembled line by line, or JSON for outside checks\n"
    "  brain run FILE [--ticks N] [--brains=interp|native]\n"
    "                           run the brain for N ticks (0 to 2147483647); print its\n"
    "                           variables, timer and any run-time error\n"
    "  play PROJECT [--ticks N] [--dump FILE] [--brains=interp|native] [--real-clock]\n"
    "       [--audio-out FILE] [--box-screenshots DIR]\n"
    "                           a headless test play of the project (300 ticks unless told);\n"
    "                           says whether it ended normally (exit 0), or was ended by a\n"
    "                           run-time error or did not end normally (exit 1); --audio-out\n"
    "                           writes what it sounds like as WAV\n"
    "  visual show FILE [--json]\n"
    "                           a .v3d visual loaded and built as a play would: frames, parts,\n"
    "                           faces, views, textures, collision faces, box (.x: its box file)\n"
    "  ground build MESH [--out MAP] [--reverse] [--json]\n"
    "                           a ground map (.m3d) built from a .3ds as a play builds it\n"
    "  ground show MAP [--json] a ground map's width, checksum, triangles and bucket lists\n"
    "  ground height MAP X Z [--y Y] [--radius R] [--json]\n"
    "                           the mesh ground height at a point (position units)\n"
    "  sound info FILE [--json] a WAV file as the engine reads it: its format, or why it is silent\n"
    "  build [--list FILE] [--title TEXT] [--screensaver] [--engine FILE] [--json]\n"
    "                           build the finished game of data/multilev.ini (or FILE, an .mlv)\n"
    "                           into vexelexe/ with the engine beside vexel (or FILE); exit 0\n"
    "                           when every position on was built, 3 when some were left out,\n"
    "                           1 when nothing was\n"
    "  widget box TEXT [LABEL1 [LABEL2]] | menu ENTRIES | input PROMPT [TEXT] [--width N]\n"
    "       | colour INDEX | files FOLDER CATEGORY TITLE | folder PATH PATTERN\n"
    "       [--input FILE] [--screenshot FILE] [--screenshot-at N] [--mode CODE] [--font8] [--json]\n"
    "                           one of the program's boxes run headless as a tool runs it, with\n"
    "                           the data folder under the current folder; prints its result\n"
    "  scramble IN OUT          write IN scrambled as a finished game stores it\n"
    "  unscramble IN OUT        write a scrambled IN back as plain bytes\n"
    "  help                     this text\n"
    "Project commands take the current folder as the working folder.\n";

int ListArena() {
  for (int i = 0; i < static_cast<int>(core::Region::kCount); ++i) {
    const core::RegionInfo& info = core::Describe(static_cast<core::Region>(i));
    std::printf("0x%08X %9u  %s\n", core::Arena::kGuestBase + info.offset, info.size, info.name);
  }
  return 0;
}

}  // namespace

// A tick count as the engine takes it: decimal digits only, from 0 to 2147483647. Shared by the
// commands that take --ticks.
bool ParseTickCount(const char* text, int32_t* ticks) {
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(text, &end, 10);
  if (*text < '0' || *text > '9' || *end != '\0' || errno != 0 || value > INT32_MAX) return false;
  *ticks = static_cast<int32_t>(value);
  return true;
}

int Main(int argc, const char* const* argv) {
  if (argc < 2 || std::strcmp(argv[1], "help") == 0 || std::strcmp(argv[1], "--help") == 0) {
    std::printf("%s", kUsage);
    return argc < 2 ? 2 : 0;
  }
  if (std::strcmp(argv[1], "arena") == 0) return ListArena();
  if (std::strcmp(argv[1], "project") == 0) return ProjectCommand(argc - 2, argv + 2);
  if (std::strcmp(argv[1], "play") == 0) return PlayCommand(argc - 2, argv + 2);
  if (std::strcmp(argv[1], "brain") == 0) return BrainCommand(argc - 2, argv + 2);
  if (std::strcmp(argv[1], "visual") == 0) return VisualCommand(argc - 2, argv + 2);
  if (std::strcmp(argv[1], "ground") == 0) return GroundCommand(argc - 2, argv + 2);
  if (std::strcmp(argv[1], "sound") == 0) return SoundCommand(argc - 2, argv + 2);
  if (std::strcmp(argv[1], "build") == 0) return BuildCommand(argc - 2, argv + 2);
  if (std::strcmp(argv[1], "widget") == 0) return WidgetCommand(argc - 2, argv + 2);
  if (std::strcmp(argv[1], "scramble") == 0) return ScrambleCommand(argc - 2, argv + 2, true);
  if (std::strcmp(argv[1], "unscramble") == 0) return ScrambleCommand(argc - 2, argv + 2, false);
  std::fprintf(stderr, "vexel: unknown command '%s'\n%s", argv[1], kUsage);
  return 2;
}

}  // namespace cli
