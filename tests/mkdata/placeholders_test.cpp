// Placeholder files: the skeleton's folders and the byte layouts their loaders depend on.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "core/core.h"
#include "mkdata/mkdata.h"

namespace {

using Bytes = std::vector<uint8_t>;

uint32_t U16(const Bytes& b, size_t at) { return b[at] | b[at + 1] << 8; }
uint32_t U32(const Bytes& b, size_t at) { return U16(b, at) | U16(b, at + 2) << 16; }
float F32(const Bytes& b, size_t at) {
  const uint32_t bits = U32(b, at);
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream stream(text);
  for (std::string part; std::getline(stream, part, separator);) parts.push_back(part);
  if (!text.empty() && text.back() == separator) parts.emplace_back();
  return parts;
}

// Decodes as the picture loader does: rows of the width rounded up to even, runs from 0xC0 up.
bool DecodePcx(const Bytes& pcx, int* width, int* height, Bytes* pixels) {
  if (pcx.size() < 128 + 769 || pcx[0] != 10 || pcx[pcx.size() - 769] != 0x0C) return false;
  *width = static_cast<int>(U16(pcx, 8) - U16(pcx, 4) + 1);
  *height = static_cast<int>(U16(pcx, 10) - U16(pcx, 6) + 1);
  const size_t line = (*width + 1) & ~1, end = pcx.size() - 769;
  Bytes all;
  for (size_t at = 128; at < end && all.size() < line * *height;) {
    const int run = pcx[at] >= 0xC0 ? pcx[at++] & 63 : 1;
    all.insert(all.end(), run, pcx[at++]);
  }
  if (all.size() != line * *height) return false;
  pixels->clear();
  for (int y = 0; y < *height; ++y) pixels->insert(pixels->end(), &all[y * line], &all[y * line] + *width);
  return true;
}

class Skeleton : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/mkdata_ph_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    root_ = dir_ + "/game/";
    ASSERT_TRUE(mkdata::WritePlaceholders(root_));
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  Bytes Read(const std::string& relative) {
    std::string text;
    EXPECT_TRUE(core::ReadFile(root_ + relative, &text)) << relative;
    return Bytes(text.begin(), text.end());
  }
  std::string ReadText(const std::string& relative) {
    const Bytes b = Read(relative);
    return std::string(b.begin(), b.end());
  }
  std::string dir_, root_;
};

TEST_F(Skeleton, EveryFolderHasItsFilesAndRewritingGivesTheSameBytes) {
  for (const char* path :
       {"cameras/default_.03d", "3dshapes/default_.a3d", "3dsfiles/default_.3ds", "bckgrnds/default_.g3d",
        "bckgrnds/default_.pcx", "brains/default_.brn", "brains/null_.brn", "sprites/default_.pcx",
        "frames/default_.pcx", "counters/default_.pcx", "images/default_.bmp", "images/wait_.bmp",
        "images/anykey_.bmp", "images/black_.bmp", "images/resume_.bmp", "images/end_.bmp", "visuals/default_.v3d",
        "sounds/default_.wav", "sounds/null_.wav", "grndmaps/default_.m3d", "grndmaps/default_.pcx",
        "tracks/default_.i3d", "elements/myele/default_.ele", "projects/myprj/default.prj",
        "projects/myprj/default.col", "data/error.pcx", "data/error.bmp", "data/end_.bmp", "data/resume_.bmp"}) {
    EXPECT_TRUE(core::FileExists(root_ + path)) << path;
  }
  EXPECT_TRUE(std::filesystem::is_directory(root_ + "multilev"));
  EXPECT_EQ(Read("brains/null_.brn").size(), 0u);
  EXPECT_EQ(Read("projects/myprj/default.col").size(), 65536u);

  const std::string again = dir_ + "/again/";
  ASSERT_TRUE(mkdata::WritePlaceholders(again));
  ASSERT_TRUE(mkdata::WritePlaceholders(again));  // a rebuild overwrites in place
  int files = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root_)) {
    if (!entry.is_regular_file()) continue;
    ++files;
    const std::string relative = entry.path().string().substr(root_.size());
    EXPECT_EQ(relative.find(".tmp-write"), std::string::npos);
    std::string other;
    ASSERT_TRUE(core::ReadFile(again + relative, &other)) << relative;
    EXPECT_TRUE(Read(relative) == Bytes(other.begin(), other.end())) << relative;
  }
  EXPECT_GE(files, 29);
}

TEST(Placeholders, UnwritableRootFails) {
  char pattern[] = "/tmp/mkdata_ph_XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string file = std::string(pattern) + "/plain";
  ASSERT_TRUE(core::WriteFileAtomic(file, "x"));
  EXPECT_FALSE(mkdata::WritePlaceholders(file + "/root/"));
  std::filesystem::remove_all(pattern);
}

TEST(PcxPicture, HeaderPaletteAndRunsDecodeBack) {
  // Odd width, runs longer than 63 and a colour that needs a run code even when single.
  const Bytes pcx = mkdata::PcxPicture(131, 3, 200);
  EXPECT_EQ(pcx[1], 5);
  EXPECT_EQ(pcx[2], 1);
  EXPECT_EQ(pcx[3], 8);
  EXPECT_EQ(pcx[65], 1);
  EXPECT_EQ(U16(pcx, 66), 132u);
  int w = 0, h = 0;
  Bytes pixels;
  ASSERT_TRUE(DecodePcx(pcx, &w, &h, &pixels));
  EXPECT_EQ(w, 131);
  EXPECT_EQ(h, 3);
  EXPECT_EQ(pixels, Bytes(131 * 3, 200));
  EXPECT_TRUE(mkdata::PcxPicture(0, 5, 1).empty());
}

TEST_F(Skeleton, PicturesFitTheirKinds) {
  int w = 0, h = 0;
  Bytes pixels;
  ASSERT_TRUE(DecodePcx(Read("data/error.pcx"), &w, &h, &pixels));
  EXPECT_EQ(w, h);
  EXPECT_EQ(w & (w - 1), 0) << "flat shapes need a power-of-two square";
  ASSERT_TRUE(DecodePcx(Read("frames/default_.pcx"), &w, &h, &pixels));
  EXPECT_EQ(w * 1000 + h, 640480);
  ASSERT_TRUE(DecodePcx(Read("sprites/default_.pcx"), &w, &h, &pixels));
  EXPECT_NE(pixels[0], 0) << "pixel 0 is transparent in a sprite";
  ASSERT_TRUE(DecodePcx(Read("counters/default_.pcx"), &w, &h, &pixels));
  EXPECT_EQ(std::count(pixels.begin(), pixels.begin() + w, 255), 13) << "one end marker per glyph";
  for (const char* path : {"bckgrnds/default_.pcx", "grndmaps/default_.pcx"})
    EXPECT_TRUE(DecodePcx(Read(path), &w, &h, &pixels)) << path;
}

TEST(BmpPicture, HeadersAndPaddedRows) {
  const Bytes bmp = mkdata::BmpPicture(3, 2, 0x102030);
  ASSERT_EQ(bmp.size(), 54u + 2 * 12);
  EXPECT_EQ(bmp[0], 'B');
  EXPECT_EQ(U32(bmp, 2), bmp.size());
  EXPECT_EQ(U32(bmp, 10), 54u);
  EXPECT_EQ(U32(bmp, 14), 40u);
  EXPECT_EQ(U16(bmp, 28), 24u);
  EXPECT_EQ(U32(bmp, 30), 0u);
  EXPECT_EQ(Bytes(bmp.begin() + 54, bmp.begin() + 66), (Bytes{0x30, 0x20, 0x10, 0x30, 0x20, 0x10, 0x30, 0x20, 0x10, 0, 0, 0}));
}

TEST_F(Skeleton, BitmapsOnDiskAndTheScrambledResumePicture) {
  const Bytes black = Read("images/black_.bmp");
  EXPECT_EQ(U32(black, 18), 640u);
  EXPECT_EQ(U32(black, 22), 480u);
  EXPECT_EQ(black.size(), 54u + 640 * 480 * 3);
  Bytes resume = Read("data/resume_.bmp");
  for (size_t i = 0; i + 4 <= resume.size(); i += 4) {
    const uint32_t s = U32(resume, i), w = ((s << 19) | (s >> 13)) ^ 0x5A17C3E9u;
    for (int b = 0; b < 4; ++b) resume[i + b] = static_cast<uint8_t>(w >> (8 * b));
  }
  EXPECT_EQ(resume, Read("images/resume_.bmp"));
}

TEST_F(Skeleton, SoundsParseChunkByChunk) {
  for (const char* path : {"sounds/default_.wav", "sounds/null_.wav"}) {
    const Bytes wav = Read(path);
    ASSERT_EQ(std::string(wav.begin(), wav.begin() + 4) + std::string(wav.begin() + 8, wav.begin() + 12), "RIFFWAVE");
    EXPECT_EQ(U32(wav, 4) + 8, wav.size());
    bool fmt = false, data = false;
    for (size_t at = 12; at + 8 <= 8 + U32(wav, 4); at += 8 + ((U32(wav, at + 4) + 1) & ~1u)) {
      const std::string id(wav.begin() + at, wav.begin() + at + 4);
      if (id == "fmt ") fmt = U32(wav, at + 4) >= 14 && U16(wav, at + 8) == 1 && U16(wav, at + 20) == 2;
      if (id == "data") data = U32(wav, at + 4) > 0 && at + 8 + U32(wav, at + 4) == wav.size();
    }
    EXPECT_TRUE(fmt && data) << path;
  }
}

TEST_F(Skeleton, BinaryAspectsCarryTheirTagsAndSizes) {
  const Bytes camera = Read("cameras/default_.03d");
  ASSERT_EQ(camera.size(), 64u + 112);
  EXPECT_EQ(std::string(camera.begin(), camera.begin() + 4), "d30.");
  // Viewport left, top, right, bottom must agree with the default camera record's rectangle.
  EXPECT_EQ(U32(camera, 64) + U32(camera, 72) - 1, U32(camera, 96));
  EXPECT_EQ(U32(camera, 68) + U32(camera, 84) - 1, U32(camera, 100));
  EXPECT_LT(static_cast<int32_t>(U32(camera, 112)), 0);
  const std::string record = Split(ReadText("projects/myprj/default.prj"), '\n')[2];
  EXPECT_EQ(Split(record, '|')[36],
            std::to_string(U32(camera, 64)) + "/" + std::to_string(U32(camera, 68)) + "/" +
                std::to_string(U32(camera, 96)) + "/" + std::to_string(U32(camera, 100)) + "/0/20&40/7");

  for (auto [path, tag] : {std::pair{"3dshapes/default_.a3d", "d3a."}, {"bckgrnds/default_.g3d", "d3g."}}) {
    const Bytes slot = Read(path);
    EXPECT_EQ(slot.size(), 64u) << path;
    EXPECT_EQ(std::string(slot.begin(), slot.begin() + 4), tag);
  }
  const Bytes map = Read("grndmaps/default_.m3d");
  ASSERT_EQ(map.size(), 64u + 65536);
  EXPECT_EQ(std::string(map.begin(), map.begin() + 4), "d3m.");
  EXPECT_EQ(U32(map, 8) - U32(map, 4), 0u) << "no triangles";
  EXPECT_GT(static_cast<int32_t>(U32(map, 12)), 0) << "ground queries divide by the grid width";
  EXPECT_EQ(std::count(map.begin() + 64, map.end(), 0), 65536);
  EXPECT_EQ(Read("tracks/default_.i3d").size() % 24, 0u);
}

TEST_F(Skeleton, MeshesHaveTheChunksAndOutwardFaces) {
  for (const char* path : {"3dsfiles/default_.3ds", "visuals/default_.3ds"}) {
    const Bytes mesh = Read(path);
    ASSERT_EQ(U16(mesh, 0), 0x4D4Du);
    ASSERT_EQ(U32(mesh, 2), mesh.size());
    int met = 0;
    std::vector<float> v;
    int faces = 0;
    for (size_t at = 6; at + 6 <= mesh.size();) {
      const uint32_t id = U16(mesh, at), length = U32(mesh, at + 2);
      ASSERT_GE(length, 6u);
      if (id == 0x3D3D || id == 0x4100) ++met, at += 6;
      else if (id == 0x4000) ++met, at = std::find(mesh.begin() + at + 6, mesh.end(), 0) - mesh.begin() + 1;
      else if (id == 0x4110) {
        ++met;
        for (uint32_t i = 0; i < U16(mesh, at + 6) * 3; ++i) v.push_back(F32(mesh, at + 8 + 4 * i));
        at += length;
      } else if (id == 0x4120) {
        ++met;
        for (faces = 0; faces < static_cast<int>(U16(mesh, at + 6)); ++faces) {
          float p[3][3];
          for (int k = 0; k < 3; ++k) {
            const uint32_t index = U16(mesh, at + 8 + 8 * faces + 2 * k);
            ASSERT_LT(index * 3, v.size());
            for (int c = 0; c < 3; ++c) p[k][c] = v[index * 3 + c];
          }
          float e1[3], e2[3], centre[3];
          for (int c = 0; c < 3; ++c) e1[c] = p[1][c] - p[0][c], e2[c] = p[2][c] - p[0][c];
          for (int c = 0; c < 3; ++c) centre[c] = p[0][c] + p[1][c] + p[2][c];
          const float nx = e1[1] * e2[2] - e1[2] * e2[1], ny = e1[2] * e2[0] - e1[0] * e2[2], nz = e1[0] * e2[1] - e1[1] * e2[0];
          EXPECT_GT(nx * centre[0] + ny * centre[1] + nz * centre[2], 0.0f) << path << " face " << faces;
        }
        at += length;
      } else {
        at += length;
      }
    }
    EXPECT_GE(met, 5) << path;
    EXPECT_GT(faces, 0) << path;
  }
}

TEST_F(Skeleton, ProjectAndElementFilesLoad) {
  for (const char* path : {"projects/myprj/default.prj", "elements/myele/default_.ele"}) {
    const std::string text = ReadText(path);
    int loneBreaks = 0;
    for (size_t i = 0; i < text.size(); ++i) {
      loneBreaks += text[i] == '\n' && (i == 0 || text[i - 1] != '\r');
      loneBreaks += text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n');
    }
    EXPECT_EQ(loneBreaks, 0) << path << ": every line ends in CR LF";
    std::vector<std::string> lines = Split(text, '\n');
    for (auto& line : lines) if (!line.empty()) line.pop_back();
    ASSERT_GE(lines.size(), 6u) << path;
    EXPECT_EQ(lines[0][0], ';');
    EXPECT_EQ(lines[1], "1");
    const std::vector<std::string> fields = Split(lines[2], '|');
    ASSERT_GE(fields.size(), 36u);
    EXPECT_EQ(fields[35], "0") << "type: camera";
    EXPECT_EQ(fields[3], "-");
    EXPECT_EQ(Split(fields[34], '/').size(), 1 + 3 * std::stoul(Split(fields[34], '/')[0]));
    const std::vector<std::string> settings = Split(lines[3], '|');
    EXPECT_LT(settings.size(), 36u) << "the settings line must end the records";
    for (const std::string& field : {fields[1], fields[2], settings[0]}) {
      ASSERT_EQ(field.substr(0, 2), "./");
      EXPECT_TRUE(core::FileExists(root_ + field.substr(2))) << field;
    }
    EXPECT_EQ(text.find("@0\r\n"), text.find(lines[3]) + lines[3].size() + 2);
    for (size_t i = 5; i < lines.size(); ++i) EXPECT_TRUE(lines[i].empty() || lines[i][0] == ';') << lines[i];
  }
  const Bytes col = Read("projects/myprj/default.col");
  EXPECT_GT(U32(col, 65044), U32(col, 65040));
}

TEST_F(Skeleton, VisualPartNamesFilesThatExist) {
  const std::string text = ReadText("visuals/default_.v3d");
  ASSERT_EQ(text.substr(text.size() - 2), "\r\n");
  EXPECT_EQ(text.find('\n'), text.size() - 1) << "one part";
  const std::vector<std::string> fields = Split(text.substr(0, text.size() - 2), '|');
  ASSERT_EQ(fields.size(), 31u);
  EXPECT_EQ(fields[0], "1");
  for (int f : {1, 2, 29}) EXPECT_TRUE(core::FileExists(root_ + fields[f].substr(2))) << fields[f];
  for (const std::string& line : Split(ReadText("brains/default_.brn"), '\n'))
    EXPECT_TRUE(line.empty() || line[0] == ';') << "the placeholder brain holds no statement";
}

}  // namespace
