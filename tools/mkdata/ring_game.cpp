// The ring game: a small finished game folder with one sub-project that the tests and benchmarks
// build their games on, stored as the game builder stores it (project and aspects scrambled,
// visuals and their models and textures plain). Its assets are made here: a ring model, its
// texture, a sky picture for the backdrop, a full-screen camera.
//
// [SECTION] Assets
// [SECTION] The project
// [SECTION] The writer
#include <cmath>
#include <cstdio>
#include <string>

#include "core/core.h"
#include "mkdata/bytes.h"
#include "mkdata/mkdata.h"
#include "mkdata/shapes.h"

namespace mkdata {
namespace {

// ---------------------------------------------------------------------------------------------
// [SECTION] Assets
// ---------------------------------------------------------------------------------------------

constexpr float kPi = 3.14159265f;

// Warm bands with a darker seam every eighth column: the turning ring shows its texture.
uint32_t RingTexel(int x, int y, uint32_t) {
  const uint32_t band = static_cast<uint32_t>((y / 8) % 4);
  static constexpr uint32_t kBands[4] = {0xE8B040, 0xD06030, 0xF0D890, 0xB04828};
  return (x % 8 == 0) ? 0x402010 : kBands[band];
}

// A sky from deep blue at the top to pale haze at the horizon (row 40), with a few bright clouds,
// over green hills darkening towards the bottom.
uint32_t SkyTexel(int x, int y, uint32_t) {
  const int hill = 40 - static_cast<int>(3.0f * (1.0f + std::sin(static_cast<float>(x) * 2.0f * kPi * 3.0f / 128.0f)));
  if (y >= hill) {
    const uint32_t shade = static_cast<uint32_t>(150 - (y - 34) * 3);
    return (shade / 3) << 16 | shade << 8 | (shade / 4);
  }
  const int t = y * 255 / 40;
  uint32_t r = static_cast<uint32_t>(20 + t * 150 / 255);
  uint32_t g = static_cast<uint32_t>(40 + t * 160 / 255);
  uint32_t b = static_cast<uint32_t>(110 + t * 120 / 255);
  if ((x * 7 + y * 3) % 37 < 5 && y > 8 && y < 30) r = g = b = 235;
  return r << 16 | g << 8 | b;
}

// Slot image of a camera, then its parameter record: the whole 640 x 480 screen, a lens factor of
// 320 (about a 74-degree field across).
Bytes FullScreenCamera() {
  Bytes out = FromText("d30.");
  out.resize(64 + 112, 0);
  Set32(&out, 64 + 0, 0);
  Set32(&out, 64 + 4, 0);
  Set32(&out, 64 + 8, 640);
  Set32(&out, 64 + 20, 480);
  Set32(&out, 64 + 32, 639);
  Set32(&out, 64 + 36, 479);
  Set32(&out, 64 + 48, static_cast<uint32_t>(-320));
  return out;
}

// ---------------------------------------------------------------------------------------------
// [SECTION] The project
// ---------------------------------------------------------------------------------------------

struct Element {
  const char* name;
  const char* aspect;
  int type;
  const char* position[3];
  const char* rotation[3];
  const char* spin[3];
  const char* typeData;
  const char* brain;
};

// The brains are ordinary brain source, as a user writes them.
constexpr const char* kCameraBrain =
    "; The camera watches the ring from a little above. Escape ends the game.\r\n"
    "var started\r\n"
    "if started = 0\r\n"
    "  background3d_set(1)   ; the sky backdrop behind everything\r\n"
    "  started = 1\r\n"
    "endif\r\n"
    "if keyboard(1)\r\n"
    "  exit(-3)\r\n"
    "endif\r\n";

constexpr const char* kRingBrain =
    "; The ring turns one degree a tick and floats up and down and from side to side.\r\n"
    "rotation_y_add(element, 512)\r\n"
    "rotation_x_set(element, oscillate(10240, 1536, 0))\r\n"
    "position_y_set(element, 512000 + oscillate(153600, 2560, 0))\r\n"
    "position_x_set(element, oscillate(256000, 1024, 46080))\r\n";

constexpr const char* kNoBrain = "; Nothing to do: the light only shines.\r\n";

const Element kElements[] = {
    {"Camera", "./cameras/default_.03d", 0, {"0", "1.6", "-4.5"}, {"10", "0", "0"}, {"0", "0", "0"},
     "0/0/639/479/0/20&40/7", kCameraBrain},
    {"Ambient", "-", 10, {"0", "0", "0"}, {"0", "0", "0"}, {"0", "0", "0"}, "0/3158064/0", kNoBrain},
    {"Sun", "-", 10, {"0", "5", "0"}, {"45", "-30", "0"}, {"0", "0", "0"}, "3/16777215/0", kNoBrain},
    {"Ring", "./visuals/ring.v3d", 11, {"0", "1", "0"}, {"0", "0", "0"}, {"0", "0", "0"}, "0/0/0/0/0", kRingBrain},
};

std::string Record(const Element& e) {
  const std::string fields[] = {e.name, e.aspect, "./sounds/null_.wav", "-",
                                e.position[0], e.position[1], e.position[2], "0", "0", "0",
                                e.rotation[0], e.rotation[1], e.rotation[2], "0", "0", "0",
                                "0", "0", "0", "0", "0", "0",
                                e.spin[0], e.spin[1], e.spin[2], "0", "0", "0",
                                "0", "0", "1", "0", "1", "0",
                                "0", std::to_string(e.type), e.typeData, "0/1", "4096/2/50/0", "0"};
  std::string record;
  for (const std::string& field : fields) record += (record.empty() ? "" : "|") + field;
  return record;
}

std::string ProjectText() {
  std::string text = ";Vexel demo: a textured ring turning under a sky\r\n";
  text += std::to_string(std::size(kElements)) + "\r\n";
  for (const Element& e : kElements) text += Record(e) + "\r\n";
  text += "./bckgrnds/sky.bmp|1|\r\n";
  for (size_t i = 0; i < std::size(kElements); ++i) text += "@" + std::to_string(i) + "\r\n" + kElements[i].brain;
  return text;
}


// A Gouraud-lit metal ring, its texture wrapped about the vertical axis.
constexpr const char* kRingVisual =
    "1|./images/ring.bmp|./visuals/ring.3ds|3|3|1|0|0|0|0|250000|0|0|0|0|0|0|0|0|0|0|0|0|255|255|255|0|1|"
    "./visuals/ring.3ds|0\r\n";

}  // namespace

// ---------------------------------------------------------------------------------------------
// [SECTION] The writer
// ---------------------------------------------------------------------------------------------

bool WriteRingGame(const std::string& root) {
  const auto put = [&root](const char* name, const Bytes& bytes) { return WriteWithFolders(root + name, bytes); };
  return put("level001.prj", Scrambled(FromText(ProjectText()))) && put("level001.col", CollisionFile()) &&
         put("cameras/default_.03d", Scrambled(FullScreenCamera())) &&
         put("bckgrnds/sky.bmp", Scrambled(Bmp(128, 64, SkyTexel, 0))) && put("visuals/ring.v3d", FromText(kRingVisual)) &&
         put("visuals/ring.3ds", MeshFile("ring", RingMesh(0.8f, 0.3f, 16, 8))) &&
         put("images/ring.bmp", Bmp(64, 64, RingTexel, 0)) && put("sounds/null_.wav", WavSilence(22050, 2205));
}

}  // namespace mkdata
