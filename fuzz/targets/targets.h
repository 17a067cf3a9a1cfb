// The fuzz targets' bodies, shared by the libFuzzer programs and the corpus replay test. Each runs
// one input through its parser from memory and checks what the parser promises.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzzing {

// Each returns an empty text when every check held, else what failed. Inputs are any bytes.
std::string FuzzProfile(const uint8_t* data, size_t size);
std::string FuzzInputScript(const uint8_t* data, size_t size);
std::string FuzzProject(const uint8_t* data, size_t size);
std::string FuzzEditorState(const uint8_t* data, size_t size);
// Compiles into one arena that lives for the whole process, as a long play session would.
std::string FuzzBrain(const uint8_t* data, size_t size);
std::string FuzzSavedGame(const uint8_t* data, size_t size);
std::string Fuzz3ds(const uint8_t* data, size_t size);
std::string FuzzXbox(const uint8_t* data, size_t size);
std::string FuzzBmp(const uint8_t* data, size_t size);
std::string FuzzV3d(const uint8_t* data, size_t size);
std::string FuzzGroundMap(const uint8_t* data, size_t size);
// Frames are prepared in one arena made for the whole process.
std::string FuzzPcx(const uint8_t* data, size_t size);
std::string FuzzCamera(const uint8_t* data, size_t size);
// Writes the input to a temporary file of its own process: the importer reads files.
std::string FuzzXFile(const uint8_t* data, size_t size);
// Byte 0 of the input picks the file name the font is read under.
std::string FuzzEditorFont(const uint8_t* data, size_t size);
std::string FuzzWav(const uint8_t* data, size_t size);
// Records, a collision map and instruction calls in one engine made for the whole process; a
// ground map after four 0xFF bytes.
std::string FuzzCollisions(const uint8_t* data, size_t size);
// Byte 0 picks the font and screen, byte 1 how many trailing bytes are the two button labels.
std::string FuzzWrap(const uint8_t* data, size_t size);
// Byte 0 and 1 give the picture's size, byte 2 its row padding; the rest its pixels.
std::string FuzzLayout(const uint8_t* data, size_t size);

// Received network messages applied to a receiver's state; byte 0 picks the receiver.
std::string FuzzNetMessage(const uint8_t* data, size_t size);
// The game builder's project list, mesh texture scan and visual rewrite over the same bytes.
std::string FuzzBuilderInputs(const uint8_t* data, size_t size);
// Writes the input to a temporary file of its own process; an input starting with 'G' makes an
// AVI from its next bytes and patches it with the rest.
std::string FuzzVideo(const uint8_t* data, size_t size);

struct Target {
  const char* name;  // also the folder of its seed inputs under fuzz/corpus/
  std::string (*run)(const uint8_t* data, size_t size);
};

inline constexpr Target kTargets[] = {
    {"profile", FuzzProfile}, {"input_script", FuzzInputScript}, {"project", FuzzProject},
    {"editor_state", FuzzEditorState}, {"brain", FuzzBrain}, {"saved_game", FuzzSavedGame},
    {"3ds", Fuzz3ds}, {"xbox", FuzzXbox}, {"bmp", FuzzBmp}, {"v3d", FuzzV3d},
    {"ground_map", FuzzGroundMap}, {"pcx", FuzzPcx}, {"camera", FuzzCamera}, {"xfile", FuzzXFile},
    {"editor_font", FuzzEditorFont},
    {"wav", FuzzWav},
    {"collision", FuzzCollisions},
    {"builder", FuzzBuilderInputs},
    {"wrap", FuzzWrap},
    {"layout", FuzzLayout},
    {"net_message", FuzzNetMessage},
    {"video", FuzzVideo},
};

}  // namespace fuzzing
