// Placeholder files: the skeleton's folders and the byte layouts their loaders depend on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "core/core.h"
#include "mkdata/mkdata.h"
#include "support/temp_folder.h"

namespace {

uint32_t U16(std::string_view b, size_t at) { return uint8_t(b[at]) | uint8_t(b[at + 1]) << 8; }
uint32_t U32(std::string_view b, size_t at) { return U16(b, at) | U16(b, at + 2) << 16; }
std::string Text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream stream(text);
  for (std::string part; std::getline(stream, part, separator);) parts.push_back(part);
  if (!text.empty() && text.back() == separator) parts.emplace_back();
  return parts;
}

// Decodes as the picture loader does: rows of the width rounded up to even, runs from 0xC0 up.
bool DecodePcx(std::string_view pcx, int* width, int* height, std::string* pixels) {
  if (pcx.size() < 128 + 769 || pcx[0] != 10 || pcx[pcx.size() - 769] != 0x0C) return false;
  *width = static_cast<int>(U16(pcx, 8) - U16(pcx, 4) + 1);
  *height = static_cast<int>(U16(pcx, 10) - U16(pcx, 6) + 1);
  const size_t line = (*width + 1) & ~1, size = line * *height;
  std::string all;
  for (size_t at = 128; at < pcx.size() - 769 && all.size() < size; ++at) {
    const int run = uint8_t(pcx[at]) >= 0xC0 ? pcx[at++] & 63 : 1;
    all.append(run, pcx[at]);
  }
  pixels->clear();
  for (int y = 0; y < *height && all.size() == size; ++y) pixels->append(all, y * line, *width);
  return all.size() == size;
}

class Skeleton : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.ok()) << folder_.error();
    root_ = folder_ / "game/";
    ASSERT_TRUE(mkdata::WritePlaceholders(root_));
  }
  std::string Read(const std::string& relative) {
    std::string bytes;
    EXPECT_TRUE(core::ReadFile(root_ + relative, &bytes)) << relative;
    return bytes;
  }
  testing_support::TempFolder folder_{"mkdata_ph"};
  std::string root_;
};

TEST_F(Skeleton, EveryFolderHasItsFilesAndRewritingGivesTheSameBytes) {
  for (const std::string& path : Split(
           "cameras/default_.03d 3dshapes/default_.a3d 3dsfiles/default_.3ds bckgrnds/default_.g3d "
           "bckgrnds/default_.pcx brains/default_.brn brains/null_.brn sprites/default_.pcx frames/default_.pcx "
           "counters/default_.pcx images/default_.bmp images/wait_.bmp images/anykey_.bmp images/black_.bmp "
           "images/resume_.bmp images/end_.bmp visuals/default_.v3d sounds/default_.wav sounds/null_.wav "
           "grndmaps/default_.m3d grndmaps/default_.pcx tracks/default_.i3d elements/myele/default_.ele "
           "projects/myprj/default.prj data/error.pcx data/error.bmp data/end_.bmp data/resume_.bmp", ' '))
    EXPECT_TRUE(core::FileExists(root_ + path)) << path;
  EXPECT_TRUE(std::filesystem::is_directory(root_ + "multilev"));
  EXPECT_EQ(Read("brains/null_.brn").size(), 0u);
  EXPECT_EQ(Read("projects/myprj/default.col").size(), 65536u);
  EXPECT_EQ(Read("tracks/default_.i3d").size() % 24, 0u);

  const std::string again = folder_ / "again/";
  ASSERT_TRUE(mkdata::WritePlaceholders(again));
  ASSERT_TRUE(mkdata::WritePlaceholders(again));  // a rebuild overwrites in place
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root_)) {
    const std::string relative = entry.path().string().substr(root_.size());
    std::string other;
    EXPECT_TRUE(entry.is_directory() || (core::ReadFile(again + relative, &other) && Read(relative) == other))
        << relative;
  }
  const std::string blocked = folder_ / "plain";
  ASSERT_TRUE(core::WriteFileAtomic(blocked, "x"));
  EXPECT_FALSE(mkdata::WritePlaceholders(blocked + "/root/"));
}

TEST(Placeholders, PictureBuilders) {
  // Odd width (a pad byte per row), runs longer than 63, then a single pixel whose colour needs a
  // run code.
  const std::string pcx = Text(mkdata::PcxPicture(127, 3, 200));
  EXPECT_EQ(pcx.substr(0, 4), "\x0A\x05\x01\x08");
  EXPECT_EQ(pcx[65], 1);
  EXPECT_EQ(U16(pcx, 66), 128u);
  int w = 0, h = 0;
  std::string pixels;
  ASSERT_TRUE(DecodePcx(pcx, &w, &h, &pixels));
  EXPECT_EQ(w * 10 + h, 1273);
  EXPECT_EQ(pixels, std::string(127 * 3, char(200)));
  EXPECT_TRUE(mkdata::PcxPicture(0, 5, 1).empty());

  const std::string bmp = Text(mkdata::BmpPicture(3, 2, 0x102030));
  ASSERT_EQ(bmp.size(), 54u + 2 * 12);  // rows padded from 9 to 12 bytes
  EXPECT_EQ(U32(bmp, 2), bmp.size());
  EXPECT_EQ(U32(bmp, 10), 54u);
  EXPECT_EQ(U32(bmp, 14), 40u);
  EXPECT_EQ(U16(bmp, 28), 24u);
  EXPECT_EQ(bmp.substr(60, 6), std::string("\x30\x20\x10\0\0\0", 6));
}

TEST_F(Skeleton, PicturesFitTheirKinds) {
  int w = 0, h = 0;
  std::string pixels;
  ASSERT_TRUE(DecodePcx(Read("data/error.pcx"), &w, &h, &pixels));
  EXPECT_TRUE(w == h && (w & (w - 1)) == 0) << "flat shapes need a power-of-two square";
  ASSERT_TRUE(DecodePcx(Read("sprites/default_.pcx"), &w, &h, &pixels));
  EXPECT_NE(pixels[0], 0) << "pixel 0 is transparent in a sprite";
  ASSERT_TRUE(DecodePcx(Read("counters/default_.pcx"), &w, &h, &pixels));
  EXPECT_EQ(std::count(pixels.begin(), pixels.begin() + w, char(255)), 13) << "one end marker per glyph";
  for (const char* path : {"bckgrnds/default_.pcx", "grndmaps/default_.pcx", "frames/default_.pcx"})
    EXPECT_TRUE(DecodePcx(Read(path), &w, &h, &pixels)) << path;
  EXPECT_EQ(Read("images/black_.bmp").size(), 54u + 640 * 480 * 3);

  std::string resume = Read("data/resume_.bmp");  // stored scrambled
  for (size_t i = 0; i + 4 <= resume.size(); i += 4) {
    const uint32_t s = U32(resume, i), word = ((s << 19) | (s >> 13)) ^ 0x5A17C3E9u;
    for (int b = 0; b < 4; ++b) resume[i + b] = char(word >> (8 * b));
  }
  EXPECT_EQ(resume, Read("images/resume_.bmp"));
}

TEST_F(Skeleton, SoundsParseChunkByChunk) {
  for (const char* path : {"sounds/default_.wav", "sounds/null_.wav"}) {
    const std::string wav = Read(path);
    ASSERT_EQ(wav.substr(0, 4) + wav.substr(8, 4), "RIFFWAVE");
    EXPECT_EQ(U32(wav, 4) + 8, wav.size());
    bool fmt = false, data = false;
    for (size_t at = 12; at + 8 <= 8 + U32(wav, 4); at += 8 + ((U32(wav, at + 4) + 1) & ~1u)) {
      if (wav.compare(at, 4, "fmt ") == 0) fmt = U32(wav, at + 4) >= 14 && U16(wav, at + 8) == 1;
      if (wav.compare(at, 4, "data") == 0) data = U32(wav, at + 4) > 0 && at + 8 + U32(wav, at + 4) == wav.size();
    }
    EXPECT_TRUE(fmt && data) << path;
  }
}

TEST_F(Skeleton, BinaryAspects) {
  const std::string camera = Read("cameras/default_.03d");
  ASSERT_EQ(camera.size(), 64u + 112);
  EXPECT_EQ(camera.substr(0, 4), "d30.");
  // The viewport (left, top, right, bottom) is the default camera record's rectangle.
  EXPECT_EQ(U32(camera, 64) + U32(camera, 72) - 1, U32(camera, 96));
  EXPECT_EQ(U32(camera, 68) + U32(camera, 84) - 1, U32(camera, 100));
  EXPECT_LT(static_cast<int32_t>(U32(camera, 112)), 0);
  std::string rectangle;
  for (size_t at : {64, 68, 96, 100}) rectangle += std::to_string(U32(camera, at)) + "/";
  EXPECT_EQ(Split(Split(Read("projects/myprj/default.prj"), '\n')[2], '|')[36], rectangle + "0/20&40/7");

  EXPECT_EQ(Read("3dshapes/default_.a3d").substr(0, 4), "d3a.");
  EXPECT_EQ(Read("bckgrnds/default_.g3d").substr(0, 4), "d3g.");
  const std::string map = Read("grndmaps/default_.m3d");
  ASSERT_EQ(map.size(), 64u + 65536);
  EXPECT_EQ(map.substr(0, 4), "d3m.");
  EXPECT_EQ(U32(map, 8), U32(map, 4)) << "no triangles";
  EXPECT_GT(static_cast<int32_t>(U32(map, 12)), 0) << "ground queries divide by the grid width";
  EXPECT_EQ(map.find_first_not_of('\0', 64), std::string::npos);
}

TEST_F(Skeleton, MeshesHaveTheChunksAndOutwardFaces) {
  for (const char* path : {"3dsfiles/default_.3ds", "visuals/default_.3ds"}) {
    const std::string mesh = Read(path);
    ASSERT_TRUE(U16(mesh, 0) == 0x4D4D && U32(mesh, 2) == mesh.size()) << path;
    int met = 0, faces = 0;
    std::vector<float> v;
    for (size_t at = 6; at + 8 <= mesh.size();) {
      const uint32_t id = U16(mesh, at), length = U32(mesh, at + 2), count = U16(mesh, at + 6);
      ASSERT_GE(length, 6u);
      met += id == 0x3D3D || id == 0x4000 || id == 0x4100 || id == 0x4110 || id == 0x4120;
      if (id == 0x4110) v.resize(count * 3), std::memcpy(v.data(), &mesh[at + 8], v.size() * 4);
      for (faces = 0; id == 0x4120 && faces < static_cast<int>(count); ++faces) {
        float p[3][3], e[2][3], outward = 0;  // the cube is centred on the origin
        for (int k = 0; k < 3; ++k) {
          const uint32_t index = U16(mesh, at + 8 + 8 * faces + 2 * k);
          ASSERT_LT(index * 3, v.size());
          std::memcpy(p[k], &v[index * 3], sizeof p[k]);
        }
        for (int c = 0; c < 3; ++c) e[0][c] = p[1][c] - p[0][c], e[1][c] = p[2][c] - p[0][c];
        for (int c = 0; c < 3; ++c)
          outward += (e[0][(c + 1) % 3] * e[1][(c + 2) % 3] - e[0][(c + 2) % 3] * e[1][(c + 1) % 3]) * p[0][c];
        EXPECT_GT(outward, 0.0f) << path << " face " << faces;
      }
      if (id == 0x4000) at = mesh.find('\0', at + 6) + 1;
      else at += id == 0x3D3D || id == 0x4100 ? 6 : length;
    }
    EXPECT_GE(met, 5) << path;
    EXPECT_GT(faces, 0) << path;
  }
}

TEST_F(Skeleton, ProjectAndElementFilesLoad) {
  for (const char* path : {"projects/myprj/default.prj", "elements/myele/default_.ele"}) {
    const std::string text = Read(path);
    int loneBreaks = 0;
    for (size_t i = 0; i < text.size(); ++i) {
      loneBreaks += text[i] == '\n' && (i == 0 || text[i - 1] != '\r');
      loneBreaks += text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n');
    }
    EXPECT_EQ(loneBreaks, 0) << path << ": every line ends in CR LF";
    std::vector<std::string> lines = Split(text, '\n');
    for (auto& line : lines) line = line.substr(0, line.find('\r'));
    ASSERT_GE(lines.size(), 5u) << path;
    EXPECT_EQ(lines[0][0], ';');
    EXPECT_EQ(lines[1], "1");
    const std::vector<std::string> fields = Split(lines[2], '|'), settings = Split(lines[3], '|');
    ASSERT_GE(fields.size(), 36u);
    EXPECT_EQ(fields[35], "0") << "type: camera";
    EXPECT_EQ(fields[3], "-") << "brain stored in the file";
    EXPECT_EQ(Split(fields[34], '/').size(), 1 + 3 * std::stoul(Split(fields[34], '/')[0]));
    EXPECT_LT(settings.size(), 36u) << "the settings line must end the records";
    for (const std::string& field : {fields[1], fields[2], settings[0]})
      EXPECT_TRUE(field.starts_with("./") && core::FileExists(root_ + field.substr(2))) << field;
    EXPECT_EQ(text.find("@0\r\n"), text.find(lines[3]) + lines[3].size() + 2);
    for (size_t i = 5; i < lines.size(); ++i) EXPECT_TRUE(lines[i].empty() || lines[i][0] == ';') << lines[i];
  }
  const std::string col = Read("projects/myprj/default.col");
  EXPECT_GT(U32(col, 65044), U32(col, 65040)) << "background band";
}

TEST_F(Skeleton, VisualAndBrainTexts) {
  const std::string text = Read("visuals/default_.v3d");
  ASSERT_TRUE(text.ends_with("\r\n"));
  EXPECT_EQ(text.find('\n'), text.size() - 1) << "one part";
  const std::vector<std::string> fields = Split(text.substr(0, text.size() - 2), '|');
  ASSERT_EQ(fields.size(), 31u);
  EXPECT_EQ(fields[0], "1");
  for (int f : {1, 2, 29}) EXPECT_TRUE(core::FileExists(root_ + fields[f].substr(2))) << fields[f];
  for (const std::string& line : Split(Read("brains/default_.brn"), '\n'))
    EXPECT_TRUE(line.empty() || line[0] == ';') << "the placeholder brain holds no statement";
}

}  // namespace
