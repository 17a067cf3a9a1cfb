// The bundled game's assets, written into its source working folder beside the projects, brains
// and visuals kept in the repository's demo/ folder: the meshes of the ground, the craft, the
// rings, the boulders and the trees, their textures, the two skies, the screen pictures, the
// panel and counter pictures and the sounds. Everything is drawn or synthesised here.
//
// [SECTION] Meshes
// [SECTION] Textures and skies
// [SECTION] Screen pictures
// [SECTION] Panel and counter
// [SECTION] Sounds
// [SECTION] The writer
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/widgets/glyphs8x8.h"
#include "mkdata/bytes.h"
#include "mkdata/mkdata.h"
#include "mkdata/shapes.h"

namespace mkdata {
namespace {

constexpr float kPi = 3.14159265f;

// A repeatable value in [0, 1) for texture grain.
float Grain(uint32_t x, uint32_t y, uint32_t seed) {
  uint32_t h = x * 374761393u + y * 668265263u + seed * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  return static_cast<float>((h ^ (h >> 16)) & 0xFFFFu) / 65536.0f;
}

uint32_t Rgb(float r, float g, float b) {
  const auto channel = [](float v) { return static_cast<uint32_t>(std::clamp(v, 0.0f, 255.0f)); };
  return channel(r) << 16 | channel(g) << 8 | channel(b);
}

uint32_t Mix(uint32_t a, uint32_t b, float t) {
  const auto channel = [&](int shift) {
    return static_cast<float>((a >> shift) & 255) * (1 - t) + static_cast<float>((b >> shift) & 255) * t;
  };
  return Rgb(channel(16), channel(8), channel(0));
}

// ---------------------------------------------------------------------------------------------
// [SECTION] Meshes
// ---------------------------------------------------------------------------------------------

// The hills: a 64 m square of rolling ground whose rim rises into a bank, so the field reads as a
// bowl. In the file y is the engine's z.
float HillsHeight(float x, float y) {
  float h = 1.6f + 1.2f * std::sin(x / 6.5f) * std::cos(y / 8.0f) + 0.9f * std::sin((x + y) / 11.0f);
  const float edge = std::max(std::abs(x), std::abs(y)) - 26.0f;
  if (edge > 0) h += edge * edge * 0.3f;
  return h;
}

// The canyon: a valley 44 m wide and 84 m long whose floor winds from side to side, its walls
// climbing steeply towards the rim.
float CanyonFloorX(float y) { return 4.0f * std::sin(y / 12.0f); }
float CanyonHeight(float x, float y) {
  const float across = x - CanyonFloorX(y);
  float h = 0.5f * std::sin(y / 5.0f) + 0.04f * across * across;
  if (std::abs(across) > 9.0f) h += (std::abs(across) - 9.0f) * 1.1f;
  return std::min(h, 16.0f);
}

// ---------------------------------------------------------------------------------------------
// [SECTION] Textures and skies
// ---------------------------------------------------------------------------------------------

// Grass in soft lighter and darker patches with a few flowers. Smooth on purpose: fine grain
// flickers at a distance and makes screenshots large.
uint32_t GrassTexel(int x, int y) {
  const float fx = static_cast<float>(x), fy = static_cast<float>(y);
  const float patch = 0.5f + 0.25f * std::sin(fx / 9.0f) * std::cos(fy / 13.0f) + 0.25f * std::sin((fx + 2 * fy) / 21.0f);
  if (Grain(static_cast<uint32_t>(x), static_cast<uint32_t>(y), 1) > 0.997f) return 0xF0E060;
  return Rgb(50 + 50 * patch, 120 + 60 * patch, 35 + 15 * patch);
}

// Layered sandstone in warm bands.
uint32_t SandstoneTexel(int x, int y) {
  const float band = 0.5f + 0.5f * std::sin(static_cast<float>(y) / 10.0f + std::sin(static_cast<float>(x) / 23.0f) * 1.5f);
  return Rgb(185 + 40 * band, 115 + 30 * band, 68 + 16 * band);
}

// Gold bands with a dark seam, so the turning ring shows its texture.
uint32_t GoldTexel(int x, int y) {
  static constexpr uint32_t kBands[4] = {0xF8D048, 0xE0A028, 0xFFF0A0, 0xC08818};
  return (x % 8 == 0) ? 0x503008 : kBands[(y / 8) % 4];
}

// A sky picture wrapped around the scene: a gradient from `top` to `horizon` above row 40 with
// soft clouds, the far hills in `land` below it.
struct Sky {
  uint32_t top, horizon, cloud, land;
};
uint32_t SkyTexel(const Sky& sky, int x, int y) {
  const float fx = static_cast<float>(x);
  const int ridge = 40 - static_cast<int>(2.5f * (1.0f + std::sin(fx * 2.0f * kPi * 3.0f / 128.0f)) +
                                          1.5f * (1.0f + std::sin(fx * 2.0f * kPi * 7.0f / 128.0f)));
  if (y >= ridge) return Mix(sky.land, 0x000000, static_cast<float>(y - ridge) / 40.0f);
  uint32_t c = Mix(sky.top, sky.horizon, static_cast<float>(y) / 40.0f);
  const float puff = std::sin(fx / 6.0f) * std::sin(static_cast<float>(y) / 3.0f + fx / 23.0f);
  if (y > 8 && y < 30 && puff > 0.6f) c = Mix(c, sky.cloud, (puff - 0.6f) * 2.0f);
  return c;
}
constexpr Sky kDaySky = {0x1838A0, 0xB8D8F0, 0xFFFFFF, 0x4A7838};
constexpr Sky kDuskSky = {0x281848, 0xF09050, 0xFFC8A0, 0x503040};

// ---------------------------------------------------------------------------------------------
// [SECTION] Screen pictures
// ---------------------------------------------------------------------------------------------

// A 640 x 480 picture that text is drawn on with the built-in 8 x 8 glyphs, scaled up.
class Picture {
 public:
  explicit Picture(const Sky& sky) : pixels_(640 * 480) {
    for (int y = 0; y < 480; ++y) {
      for (int x = 0; x < 640; ++x) pixels_[y * 640 + x] = SkyTexel(sky, x / 5, y / 6);
    }
  }
  // Draws `text` centred on column 320 with its top at `top`, each glyph pixel `scale` wide, with
  // a dark shadow.
  void Text(const std::string& text, int top, int scale, uint32_t colour) {
    const int left = 320 - static_cast<int>(text.size()) * 8 * scale / 2;
    Glyphs(text, left + scale / 2 + 1, top + scale / 2 + 1, scale, 0x101018);
    Glyphs(text, left, top, scale, colour);
  }
  // Darkens a band behind text, so it reads over any sky.
  void Band(int top, int bottom) {
    for (int y = std::max(top, 0); y < std::min(bottom, 480); ++y) {
      for (int x = 0; x < 640; ++x) pixels_[y * 640 + x] = Mix(pixels_[y * 640 + x], 0x000010, 0.55f);
    }
  }
  Bytes File() const {
    return Bmp(640, 480, [this](int x, int y) { return pixels_[static_cast<size_t>(y) * 640 + x]; });
  }

 private:
  void Glyphs(const std::string& text, int left, int top, int scale, uint32_t colour) {
    for (size_t i = 0; i < text.size(); ++i) {
      const int code = static_cast<unsigned char>(text[i]) - engine::kFirstGlyph;
      if (code < 0 || code >= engine::kGlyphCount) continue;
      for (int row = 0; row < 8; ++row) {
        for (int column = 0; column < 8; ++column) {
          if ((engine::kGlyphs8x8[code][row] & (0x80 >> column)) == 0) continue;
          for (int dy = 0; dy < scale; ++dy) {
            for (int dx = 0; dx < scale; ++dx) {
              const int x = left + (static_cast<int>(i) * 8 + column) * scale + dx;
              const int y = top + row * scale + dy;
              if (x >= 0 && x < 640 && y >= 0 && y < 480) pixels_[y * 640 + x] = colour;
            }
          }
        }
      }
    }
  }
  std::vector<uint32_t> pixels_;
};

constexpr uint32_t kTitleGold = 0xFFD040;
constexpr uint32_t kWhiteText = 0xF0F0F0;

// A loading picture: the name large over the sky, "Loading..." below it.
Bytes LoadingPicture(const Sky& sky, const std::string& name, int top, int scale) {
  Picture p(sky);
  p.Text(name, top, scale, kTitleGold);
  p.Band(300, 340);
  p.Text("Loading...", 312, 2, kWhiteText);
  return p.File();
}

// The load-complete picture of a sub-project: its name, how to play, and the key to press.
Bytes ReadyPicture(const Sky& sky, const std::string& name, const std::string& hint) {
  Picture p(sky);
  p.Text(name, 70, 6, kTitleGold);
  p.Band(195, 390);
  p.Text(hint, 210, 2, kWhiteText);
  p.Text("Arrow keys or a controller steer:", 245, 2, kWhiteText);
  p.Text("UP faster, DOWN brakes,", 270, 2, kWhiteText);
  p.Text("LEFT and RIGHT turn.", 295, 2, kWhiteText);
  p.Text("Escape leaves the game.", 320, 2, kWhiteText);
  p.Text("PRESS ANY KEY", 355, 3, kTitleGold);
  return p.File();
}

Bytes EndPicture() {
  Picture p({0x000010, 0x302050, 0xFFFFFF, 0x101820});
  p.Text("WELL FLOWN!", 120, 6, kTitleGold);
  p.Band(260, 330);
  p.Text("Thanks for playing Ring Run.", 272, 2, kWhiteText);
  p.Text("Press any key", 300, 2, kWhiteText);
  return p.File();
}

// ---------------------------------------------------------------------------------------------
// [SECTION] Panel and counter
// ---------------------------------------------------------------------------------------------

// The panel's palette: 0 transparent black, 1 deep blue, 2 a lighter rim, 3 gold digits.
Bytes PanelPalette() {
  Bytes palette(768, 0);
  const uint32_t colours[4] = {0x000000, 0x101838, 0x6080C0, 0xFFD040};
  for (int i = 0; i < 4; ++i) {
    palette[i * 3] = static_cast<uint8_t>(colours[i] >> 16);
    palette[i * 3 + 1] = static_cast<uint8_t>(colours[i] >> 8);
    palette[i * 3 + 2] = static_cast<uint8_t>(colours[i]);
  }
  palette[255 * 3] = palette[255 * 3 + 1] = palette[255 * 3 + 2] = 255;
  return palette;
}

// A bar across the top of the screen, 640 x 40, with a rim along its lower edge.
Bytes PanelBar() {
  constexpr int kWidth = 640, kHeight = 40;
  Bytes pixels(kWidth * kHeight, 1);
  for (int x = 0; x < kWidth; ++x) pixels[(kHeight - 2) * kWidth + x] = pixels[(kHeight - 1) * kWidth + x] = 2;
  return PcxWithPalette(kWidth, kHeight, pixels, PanelPalette());
}

// Counter digits in gold, four times the patterns' size.
Bytes CounterDigits() {
  int width = 0, height = 0;
  const Bytes pixels = CounterDigitPixels(4, 2, 3, 255, &width, &height);
  return PcxWithPalette(width, height, pixels, PanelPalette());
}

// ---------------------------------------------------------------------------------------------
// [SECTION] Sounds
// ---------------------------------------------------------------------------------------------

constexpr int kRate = 22050;

int16_t Sample(float v) { return static_cast<int16_t>(std::clamp(v, -1.0f, 1.0f) * 30000.0f); }

// Two bell notes a fifth apart, the second a little later, dying away.
Bytes Chime() {
  std::vector<int16_t> samples(kRate * 6 / 10);
  for (size_t i = 0; i < samples.size(); ++i) {
    const float t = static_cast<float>(i) / kRate;
    float v = 0.5f * std::sin(2 * kPi * 880 * t) * std::exp(-6 * t);
    if (t > 0.08f) v += 0.4f * std::sin(2 * kPi * 1320 * (t - 0.08f)) * std::exp(-6 * (t - 0.08f));
    samples[i] = Sample(v);
  }
  return Wav16(kRate, samples);
}

// A dull knock: a falling low tone with a burst of grit at its start.
Bytes Thump() {
  std::vector<int16_t> samples(kRate * 3 / 10);
  float phase = 0;
  for (size_t i = 0; i < samples.size(); ++i) {
    const float t = static_cast<float>(i) / kRate;
    phase += 2 * kPi * (140 - 200 * t) / kRate;
    const float grit = (Grain(static_cast<uint32_t>(i), 0, 3) - 0.5f) * std::exp(-40 * t);
    samples[i] = Sample((0.8f * std::sin(phase) + 0.6f * grit) * std::exp(-10 * t));
  }
  return Wav16(kRate, samples);
}

// The craft's engine: half a second of a soft buzz that loops without a seam (55 whole periods of
// 110 Hz with its second and third harmonics).
Bytes Hum() {
  std::vector<int16_t> samples(kRate / 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    const float t = static_cast<float>(i) / kRate;
    samples[i] = Sample(0.35f * std::sin(2 * kPi * 110 * t) + 0.15f * std::sin(2 * kPi * 220 * t) +
                        0.08f * std::sin(2 * kPi * 330 * t));
  }
  return Wav16(kRate, samples);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// [SECTION] The writer
// ---------------------------------------------------------------------------------------------

bool WriteDemoAssets(const std::string& root) {
  const auto put = [&root](const std::string& name, const Bytes& bytes) { return WriteWithFolders(root + name, bytes); };
  const Bytes hills = MeshFile("hills", TerrainMesh(32, 32, 32, 32, HillsHeight));
  const Bytes canyon = MeshFile("canyon", TerrainMesh(22, 42, 22, 42, CanyonHeight));
  return put("visuals/hills.3ds", hills) && put("grndmaps/hills.3ds", hills) && put("visuals/canyon.3ds", canyon) &&
         put("grndmaps/canyon.3ds", canyon) && put("visuals/craft.3ds", MeshFile("craft", DartMesh())) &&
         put("visuals/ring.3ds", MeshFile("ring", RingMesh(0.9f, 0.14f, 20, 8))) &&
         put("visuals/boulder.3ds", MeshFile("boulder", BoulderMesh(1.2f, 7))) &&
         put("visuals/crown.3ds", MeshFile("crown", ConeMesh(1.3f, 0.8f, 3.2f, 10))) &&
         put("visuals/trunk.3ds", MeshFile("trunk", CylinderMesh(0.22f, 0.0f, 0.9f, 6))) &&
         put("images/grass.bmp", Bmp(128, 128, GrassTexel)) && put("images/sandstone.bmp", Bmp(128, 128, SandstoneTexel)) &&
         put("images/gold.bmp", Bmp(64, 64, GoldTexel)) &&
         put("bckgrnds/daysky.bmp", Bmp(128, 64, [](int x, int y) { return SkyTexel(kDaySky, x, y); })) &&
         put("bckgrnds/dusksky.bmp", Bmp(128, 64, [](int x, int y) { return SkyTexel(kDuskSky, x, y); })) &&
         put("images/title.bmp", LoadingPicture(kDaySky, "RING RUN", 110, 9)) &&
         put("images/hillsgo.bmp", ReadyPicture(kDaySky, "THE HILLS", "Fly through the rings in time.")) &&
         put("images/canyonload.bmp", LoadingPicture(kDuskSky, "THE CANYON", 150, 6)) &&
         put("images/canyongo.bmp", ReadyPicture(kDuskSky, "THE CANYON", "More rings, and boulders too.")) &&
         put("data/end_.bmp", EndPicture()) && put("sprites/panel.pcx", PanelBar()) &&
         put("counters/digits.pcx", CounterDigits()) && put("sounds/chime.wav", Chime()) &&
         put("sounds/thump.wav", Thump()) && put("sounds/hum.wav", Hum());
}

}  // namespace mkdata
