// The .3ds subset reader on files built here byte by byte and on files made by other programs,
// and the .x box files.
#include "engine/visuals/model_3ds.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/core.h"
#include "model/model.h"
#include "support/run_program.h"
#include "support/temp_folder.h"

namespace engine {
namespace {

// [SECTION] Building .3ds files

std::string U16(uint16_t value) { return {static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)}; }

std::string U32(uint32_t value) {
  std::string out;
  for (int i = 0; i < 4; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
  return out;
}

std::string F32(float value) {
  uint32_t bits = 0;
  std::memcpy(&bits, &value, 4);
  return U32(bits);
}

// A chunk whose length field says what it holds, or `length` when given.
std::string Chunk(uint16_t id, const std::string& body, int64_t length = -1) {
  return U16(id) + U32(length < 0 ? static_cast<uint32_t>(6 + body.size()) : static_cast<uint32_t>(length)) + body;
}

struct V {
  float x, y, z;
};

std::string VertexBody(const std::vector<V>& vertices, int count = -1) {
  std::string body = U16(static_cast<uint16_t>(count < 0 ? vertices.size() : count));
  for (const V& v : vertices) body += F32(v.x) + F32(v.y) + F32(v.z);
  return body;
}

std::string Vertices(const std::vector<V>& vertices) { return Chunk(0x4110, VertexBody(vertices)); }

struct F {
  uint16_t a, b, c;
};

std::string FaceBody(const std::vector<F>& faces, int count = -1) {
  std::string body = U16(static_cast<uint16_t>(count < 0 ? faces.size() : count));
  for (const F& f : faces) body += U16(f.a) + U16(f.b) + U16(f.c) + U16(7);
  return body;
}

std::string Faces(const std::vector<F>& faces, const std::string& subChunks = "") {
  return Chunk(0x4120, FaceBody(faces) + subChunks);
}

std::string Object(const std::string& name, const std::string& triangleBody) {
  return Chunk(0x4000, name + '\0' + Chunk(0x4100, triangleBody));
}

std::string Main(const std::string& editorBody, const std::string& before = "", const std::string& after = "") {
  return Chunk(0x4D4D, before + Chunk(0x3D3D, editorBody) + after);
}

// A face list and a vertex list disguised inside chunks that must be skipped whole: a reader that
// entered them would gain faces or lose its vertex list.
const std::string kDecoyFaces = Chunk(0x4120, FaceBody({{0, 1, 2}, {0, 1, 2}, {0, 1, 2}}));
const std::string kDecoyVertices = Chunk(0x4110, VertexBody({{9, 9, 9}}));

const std::vector<V> kSquare = {{0, 0, 0}, {1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
const std::vector<V> kTriangle = {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}};

std::string TwoObjectFile() {
  const std::string a = Chunk(0x4160, std::string(48, '\0')) + Vertices(kSquare) + Chunk(0x4140, kDecoyFaces) +
                        Faces({{0, 1, 2}, {1, 2, 3}},
                              Chunk(0x4130, std::string("mat\0", 4) + kDecoyVertices) + Chunk(0x4150, kDecoyFaces));
  const std::string b = Vertices(kTriangle) + Faces({{2, 1, 0}}, Chunk(0x4150, U32(1)));
  const std::string editor = Chunk(0x3D3E, U32(3)) + Chunk(0xAFFF, Chunk(0xA000, std::string("red\0", 4) + kDecoyFaces)) +
                             Object("a", a) + Chunk(0x4000, std::string("light\0", 6) + Chunk(0x4600, kDecoyFaces)) +
                             Object("b", b);
  return Main(editor, Chunk(0x0002, U32(3)), Chunk(0xB000, kDecoyVertices + kDecoyFaces));
}

void ExpectVertex(const glm::vec3& got, float x, float y, float z) {
  EXPECT_EQ(got.x, x);
  EXPECT_EQ(got.y, y);
  EXPECT_EQ(got.z, z);
}

// [SECTION] The chunk walk

TEST(Parse3ds, ReadsEveryObjectAndSkipsWhatItDoesNotKnowAtEveryLevel) {
  Model3ds model;
  ASSERT_TRUE(Parse3ds(TwoObjectFile(), &model));
  ASSERT_EQ(model.faces.size(), 3u);
  EXPECT_EQ(model.vertexEntries, 7);
  // Main, editor, and per object the named object, triangle object, vertex and face lists; the
  // light is a named object too. The decoys inside skipped chunks do not count.
  EXPECT_EQ(model.recognisedChunks, 11);

  // The file's y and z are exchanged, and each face indexes its own object's vertex list.
  ExpectVertex(model.faces[0].v[0], 0, 0, 0);
  ExpectVertex(model.faces[0].v[1], 1, 3, 2);
  ExpectVertex(model.faces[0].v[2], 4, 6, 5);
  ExpectVertex(model.faces[1].v[2], 7, 9, 8);
  ExpectVertex(model.faces[2].v[0], 70, 90, 80);
  ExpectVertex(model.faces[2].v[1], 40, 60, 50);
  ExpectVertex(model.faces[2].v[2], 10, 30, 20);
}

TEST(Parse3ds, FewerThanFiveRecognisedChunksIsNoModel) {
  Model3ds model;
  // Main, editor, a vertex and a face list: four, although they make a face.
  const std::string four = Main(Vertices(kTriangle) + Faces({{0, 1, 2}}));
  EXPECT_FALSE(Parse3ds(four, &model));
  EXPECT_EQ(model.recognisedChunks, 4);
  // A fifth makes it a model, even one without faces.
  EXPECT_TRUE(Parse3ds(Main(Object("o", Vertices(kTriangle))), &model));
  EXPECT_TRUE(model.faces.empty());
  EXPECT_EQ(model.recognisedChunks, 5);

  EXPECT_FALSE(Parse3ds("", &model));
  EXPECT_FALSE(Parse3ds(std::string("MM\x06\0\0", 5), &model));
  std::string wrongMagic = TwoObjectFile();
  wrongMagic[0] = 'N';
  EXPECT_FALSE(Parse3ds(wrongMagic, &model));
  EXPECT_TRUE(model.faces.empty());
}

TEST(Parse3ds, ALengthBelowTheHeaderEndsTheWalk) {
  Model3ds model;
  // What came before the bad chunk stays; nothing after it is read, not even at an outer level.
  for (uint32_t bad : {0u, 1u, 5u}) {
    const std::string file = Main(Object("a", Vertices(kTriangle) + Faces({{0, 1, 2}}) + Chunk(0x1234, "", bad) +
                                                  Faces({{2, 1, 0}})) +
                                  Object("b", Vertices(kTriangle) + Faces({{0, 1, 2}})));
    EXPECT_TRUE(Parse3ds(file, &model)) << bad;
    EXPECT_EQ(model.faces.size(), 1u) << bad;
  }
  // The main chunk's own length below 6: nothing inside is read.
  std::string file = TwoObjectFile();
  file.replace(2, 4, U32(0));
  EXPECT_FALSE(Parse3ds(file, &model));
  EXPECT_EQ(model.recognisedChunks, 1);
}

TEST(Parse3ds, LengthsPastTheParentAreCutToIt) {
  Model3ds model;
  // The face list claims far more than its triangle object holds: it ends with the object, and
  // the next object is still read where its parent's length puts it.
  const std::string a = Vertices(kTriangle) + Chunk(0x4120, FaceBody({{0, 1, 2}}), 0x7FFFFFF0);
  const std::string file = Main(Object("a", a) + Object("b", Vertices(kTriangle) + Faces({{1, 2, 0}})));
  ASSERT_TRUE(Parse3ds(file, &model));
  ASSERT_EQ(model.faces.size(), 2u);
  ExpectVertex(model.faces[1].v[0], 40, 60, 50);

  // The main chunk claiming more than the file, and the file cut in the middle of a face list.
  std::string cut = Main(Object("a", Vertices(kTriangle) + Faces({{0, 1, 2}, {2, 1, 0}, {1, 0, 2}})));
  cut.resize(cut.size() - 5);
  ASSERT_TRUE(Parse3ds(cut, &model));
  EXPECT_EQ(model.faces.size(), 2u);
}

TEST(Parse3ds, ListsAreReadAsFarAsWholeEntriesFit) {
  Model3ds model;
  // The vertex list says 10 and holds 3 and a half; the face list says 5 and holds 2 and a half.
  const std::string vertices = Chunk(0x4110, VertexBody(kTriangle, 10) + std::string(6, '\0'));
  const std::string faces = Chunk(0x4120, FaceBody({{0, 1, 2}, {2, 1, 0}}, 5) + std::string(4, '\0'));
  ASSERT_TRUE(Parse3ds(Main(Object("a", vertices + faces)), &model));
  EXPECT_EQ(model.vertexEntries, 3);
  EXPECT_EQ(model.faces.size(), 2u);
  // A count smaller than the chunk holds wins: the rest is padding.
  const std::string padded = Chunk(0x4110, VertexBody(kTriangle, 2) + F32(1) + F32(1) + F32(1));
  ASSERT_TRUE(Parse3ds(Main(Object("a", padded + Faces({{0, 1, 1}, {0, 1, 2}}))), &model));
  EXPECT_EQ(model.vertexEntries, 2);
  EXPECT_EQ(model.faces.size(), 1u);
  // Lists too short for their count field.
  ASSERT_TRUE(Parse3ds(Main(Object("a", Chunk(0x4110, "\x01") + Chunk(0x4120, ""))), &model));
  EXPECT_EQ(model.vertexEntries, 0);
  EXPECT_TRUE(model.faces.empty());
}

TEST(Parse3ds, FacesNamingNoVertexAreDropped) {
  Model3ds model;
  // Index 3 is one past a three-vertex list; the faces around it stay.
  ASSERT_TRUE(Parse3ds(Main(Object("a", Vertices(kTriangle) + Faces({{0, 1, 2}, {0, 3, 2}, {2, 0, 1}, {65535, 0, 1}}))),
                       &model));
  ASSERT_EQ(model.faces.size(), 2u);
  ExpectVertex(model.faces[1].v[0], 70, 90, 80);

  // A face list before any vertex list has nothing to name; a later object reads normally.
  ASSERT_TRUE(Parse3ds(Main(Object("a", Faces({{0, 0, 0}})) + Object("b", Vertices(kTriangle) + Faces({{0, 1, 2}}))),
                       &model));
  EXPECT_EQ(model.faces.size(), 1u);

  // An empty vertex list replaces the one before it.
  ASSERT_TRUE(Parse3ds(Main(Object("a", Vertices(kTriangle) + Vertices({}) + Faces({{0, 1, 2}}))), &model));
  EXPECT_TRUE(model.faces.empty());
}

TEST(Parse3ds, NonFiniteCoordinatesReadAsZero) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  Model3ds model;
  ASSERT_TRUE(Parse3ds(Main(Object("a", Vertices({{nan, 1, inf}, {-inf, 2, 3}, {4, nan, -5}}) + Faces({{0, 1, 2}}))),
                       &model));
  ASSERT_EQ(model.faces.size(), 1u);
  ExpectVertex(model.faces[0].v[0], 0, 0, 1);
  ExpectVertex(model.faces[0].v[1], 0, 3, 2);
  ExpectVertex(model.faces[0].v[2], 4, -5, 0);
}

TEST(Parse3ds, DeepNestingNeitherOverflowsNorLosesTheModel) {
  // Two hundred thousand editor chunks, one inside the other, around one object.
  const int depth = 200000;
  const std::string object = Object("a", Vertices(kTriangle) + Faces({{0, 1, 2}}));
  std::string file;
  file.reserve(6 * depth + object.size() + 6);
  file += U16(0x4D4D) + U32(static_cast<uint32_t>(6 * (depth + 1) + object.size()));
  for (int i = 0; i < depth; ++i) file += U16(0x3D3D) + U32(static_cast<uint32_t>(6 * (depth - i) + object.size()));
  file += object;
  Model3ds model;
  ASSERT_TRUE(Parse3ds(file, &model));
  EXPECT_EQ(model.faces.size(), 1u);
  EXPECT_EQ(model.recognisedChunks, depth + 5);
}

TEST(FlipFaces, ExchangesTheSecondAndThirdVertexOfEveryFace) {
  Model3ds model;
  ASSERT_TRUE(Parse3ds(TwoObjectFile(), &model));
  const std::vector<MeshFace> before = model.faces;
  FlipFaces(&model.faces);
  ASSERT_EQ(model.faces.size(), before.size());
  for (size_t i = 0; i < before.size(); ++i) {
    EXPECT_EQ(model.faces[i].v[0], before[i].v[0]);
    EXPECT_EQ(model.faces[i].v[1], before[i].v[2]);
    EXPECT_EQ(model.faces[i].v[2], before[i].v[1]);
  }
}

// [SECTION] Reading from files, with the default model

TEST(Load3ds, FallsBackToTheDefaultModel) {
  testing_support::TempFolder root("vexel-3ds");
  ASSERT_TRUE(root.ok()) << root.error();
  ASSERT_TRUE(core::MakeFolders(root / "3dsfiles"));
  const std::string defaultPath = root / "3dsfiles/default_.3ds";
  ASSERT_TRUE(core::WriteFileAtomic(defaultPath, Main(Object("d", Vertices(kTriangle) + Faces({{0, 1, 2}})))));
  ASSERT_TRUE(core::WriteFileAtomic(root / "3dsfiles/two.3ds", TwoObjectFile()));
  ASSERT_TRUE(core::WriteFileAtomic(root / "3dsfiles/four.3ds", Main(Vertices(kSquare) + Faces({{0, 1, 2}}))));
  ASSERT_TRUE(core::WriteFileAtomic(root / "3dsfiles/text.3ds", "not a model"));

  Model3ds model;
  std::string read;
  ASSERT_TRUE(Load3ds(root / "3dsfiles/two.3ds", root.path(), &model, &read));
  EXPECT_EQ(read, root / "3dsfiles/two.3ds");
  EXPECT_EQ(model.faces.size(), 3u);

  for (const char* name : {"four.3ds", "text.3ds", "missing.3ds", ""}) {
    ASSERT_TRUE(Load3ds(root / (std::string("3dsfiles/") + name), root.path(), &model, &read)) << name;
    EXPECT_EQ(read, defaultPath) << name;
    ASSERT_EQ(model.faces.size(), 1u) << name;
    EXPECT_EQ(model.vertexEntries, 3) << name;
    ExpectVertex(model.faces[0].v[0], 10, 30, 20);
  }

  // No default model either: nothing, and what was there before is gone.
  ASSERT_TRUE(core::WriteFileAtomic(defaultPath, Main(Vertices(kTriangle))));
  EXPECT_FALSE(Load3ds(root / "3dsfiles/four.3ds", root.path(), &model, &read));
  EXPECT_TRUE(model.faces.empty());
  EXPECT_EQ(model.vertexEntries, 0);
}

// [SECTION] Files made by other programs

// The model files of the test-model package (its folder found through the package manager), and
// the command-line importer, when installed.
struct PackagedModel {
  std::string path;
  bool broken = false;  // in the package's folder of files broken on purpose
};

std::vector<PackagedModel> PackagedModels() {
  std::vector<PackagedModel> models;
  if (!core::FileExists("/usr/bin/dpkg")) return models;
  const testing_support::RunResult listing =
      testing_support::RunProgram("/usr/bin/dpkg", {"-L", "assimp-testmodels"}, "/", 30);
  if (listing.exitCode != 0) return models;
  std::istringstream lines(listing.out);
  for (std::string path; std::getline(lines, path);) {
    std::string lower = path;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const bool named3ds = lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".3ds") == 0;
    const size_t slash = path.rfind('/');
    const bool noExtension = path.find('.', slash) == std::string::npos;
    if (!named3ds && !noExtension) continue;
    char magic[2] = {};
    // Files without an extension count when they start like a model (0x4D4D).
    std::error_code error;
    if (std::filesystem::is_regular_file(path, error) &&
        (named3ds || (core::ReadFilePrefix(path, magic, 2) == 2 && magic[0] == 'M' && magic[1] == 'M'))) {
      models.push_back({path, path.find("/invalid/") != std::string::npos});
    }
  }
  return models;
}

std::string ImporterPath() {
  const char* path = std::getenv("PATH");
  std::istringstream folders(path ? path : "/usr/bin");
  for (std::string folder; std::getline(folders, folder, ':');) {
    if (!folder.empty() && core::FileExists(folder + "/assimp")) return folder + "/assimp";
  }
  return {};
}

// The importer's face count of a raw import (no post-processing), or -1.
int ImporterFaces(const std::string& importer, const std::string& file) {
  const testing_support::RunResult info = testing_support::RunProgram(importer, {"info", file, "-r"}, "/", 60);
  if (info.exitCode != 0) return -1;
  std::istringstream lines(info.out);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("Faces:", 0) == 0) return std::atoi(line.c_str() + 6);
  }
  return -1;
}

// Files whose face count differs from the importer's, by name, with the reason. Every model of
// the package agrees at present.
const std::map<std::string, std::string> kKnownDifferences = {};

// A built game stores the models of its visuals scrambled.
TEST(Load3ds, AScrambledModelOfABuiltGameIsReadThroughTheUnscrambling) {
  testing_support::TempFolder root("vexel-3ds");
  ASSERT_TRUE(root.ok()) << root.error();
  std::string bytes = TwoObjectFile();
  model::ScrambleBytes(&bytes);
  ASSERT_TRUE(core::WriteFileAtomic(root / "A1B2C3D4.dat", bytes));
  Model3ds model;
  std::string read;
  ASSERT_TRUE(Load3ds(root / "A1B2C3D4.dat", root.path(), &model, &read));
  EXPECT_EQ(read, root / "A1B2C3D4.dat");
  EXPECT_EQ(model.faces.size(), 3u);
}

TEST(Load3ds, ReadsTheModelsOfOtherPrograms) {
  const std::vector<PackagedModel> models = PackagedModels();
  if (models.empty()) GTEST_SKIP() << "the assimp-testmodels package is not installed (scripts/deps)";
  const std::string importer = ImporterPath();
  if (importer.empty()) std::printf("no assimp command (assimp-utils): face counts are not compared\n");

  testing_support::TempFolder root("vexel-3ds-others");
  ASSERT_TRUE(root.ok()) << root.error();
  ASSERT_TRUE(core::MakeFolders(root / "3dsfiles"));
  ASSERT_TRUE(core::WriteFileAtomic(root / "3dsfiles/default_.3ds", TwoObjectFile()));

  int compared = 0;
  for (const auto& [path, broken] : models) {
    SCOPED_TRACE(path);
    Model3ds model;
    std::string read;
    ASSERT_TRUE(Load3ds(path, root.path(), &model, &read));
    if (broken) {
      EXPECT_EQ(read, root / "3dsfiles/default_.3ds");
      continue;
    }
    EXPECT_EQ(read, path) << "fell back to the default model";
    EXPECT_FALSE(model.faces.empty());
    if (importer.empty()) continue;
    const int theirs = ImporterFaces(importer, path);
    const std::string name = path.substr(path.rfind('/') + 1);
    const auto known = kKnownDifferences.find(name);
    if (known != kKnownDifferences.end()) {
      EXPECT_NE(static_cast<int>(model.faces.size()), theirs) << "agrees now: " << known->second;
      continue;
    }
    EXPECT_EQ(static_cast<int>(model.faces.size()), theirs);
    ++compared;
  }
  EXPECT_TRUE(importer.empty() || compared > 0);
}

// [SECTION] Box files of .x visuals

TEST(BoxFile, ReadsLinesTwoToSevenInTheirOrder) {
  const BoxFile box = ParseBoxFile("box of tree.x\r\n100\r\n-100\r\n250\r\n0\r\n-7\r\n-9\r\nmore\r\n");
  EXPECT_EQ(box.max[0], 100);
  EXPECT_EQ(box.min[0], -100);
  EXPECT_EQ(box.max[1], 250);
  EXPECT_EQ(box.min[1], 0);
  EXPECT_EQ(box.max[2], -7);
  EXPECT_EQ(box.min[2], -9);

  // Bare LF line ends and a last line without one.
  const BoxFile lf = ParseBoxFile("\n1\n2\n3\n4\n5\n6");
  EXPECT_EQ(lf.max[0], 1);
  EXPECT_EQ(lf.min[2], 6);
}

TEST(BoxFile, MissingFilesLinesAndNumbersKeepTheEmptyBox) {
  const BoxFile empty;
  const int32_t lowest = std::numeric_limits<int32_t>::min();
  const int32_t highest = std::numeric_limits<int32_t>::max();
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(empty.max[i], lowest);
    EXPECT_EQ(empty.min[i], highest);
  }

  // Three lines: max x and min x read, the rest stay; a line without a number stays too.
  const BoxFile shortFile = ParseBoxFile("x\r\n12\r\n-12\r\n");
  EXPECT_EQ(shortFile.max[0], 12);
  EXPECT_EQ(shortFile.min[0], -12);
  EXPECT_EQ(shortFile.max[1], lowest);
  EXPECT_EQ(shortFile.min[2], highest);
  const BoxFile words = ParseBoxFile("x\n\nnone\n  \n5\n");
  EXPECT_EQ(words.max[0], lowest);
  EXPECT_EQ(words.min[0], highest);
  EXPECT_EQ(words.max[1], lowest);
  EXPECT_EQ(words.min[1], 5);
  // Values beyond 32 bits are held at its ends.
  const BoxFile huge = ParseBoxFile("x\n99999999999\n-99999999999\n");
  EXPECT_EQ(huge.max[0], highest);
  EXPECT_EQ(huge.min[0], lowest);

  testing_support::TempFolder folder("vexel-box");
  ASSERT_TRUE(folder.ok()) << folder.error();
  const BoxFile missing = ReadBoxFile(folder / "tree.x");
  EXPECT_EQ(missing.max[2], lowest);
  EXPECT_EQ(missing.min[2], highest);
  ASSERT_TRUE(testing_support::WriteText(folder / "tree.txt", "tree\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n"));
  const BoxFile read = ReadBoxFile(folder / "tree.x");
  EXPECT_EQ(read.max[0], 1);
  EXPECT_EQ(read.min[2], 6);
}

TEST(BoxFile, LivesBesideTheXFileWithTheExtensionTxt) {
  EXPECT_EQ(BoxFilePath("/p/models/tree.x"), "/p/models/tree.txt");
  EXPECT_EQ(BoxFilePath("/p/models/TREE.X"), "/p/models/TREE.txt");
  EXPECT_EQ(BoxFilePath("/p/models/tree.big.x"), "/p/models/tree.big.txt");
  EXPECT_EQ(BoxFilePath("/p/models.v2/tree"), "/p/models.v2/tree.txt");
}

}  // namespace
}  // namespace engine
