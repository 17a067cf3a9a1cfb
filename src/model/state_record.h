// The element state record: 256 signed 32-bit words per element, their names and units, and the
// conversion of element records into state records at play start.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace core {
struct RandomSource;
}  // namespace core

namespace model {

inline constexpr int kRecordWords = 256;
inline constexpr int kRecordBytes = 1024;

// Units: position 1/512 mm (512000 a metre); angle 1/512 degree (184320 a turn); velocity and
// spin per tick of 1/30 s (1 m/s = 17067); factors 512 = 1.0; truth -1.
//
// X(constant, word, name) for every word with a name of its own. The names are the lower-case
// keys of state dumps and of `vexel project records`, so they never change.
#define VEXEL_RECORD_WORDS(X)                                                                            \
  X(kWordCurrentAspect, 0, "current_aspect")  /* address of the aspect slot shown now */                 \
  X(kWordFirstAspect, 1, "first_aspect")                                                                 \
  X(kWordAnimation, 2, "animation")  /* low 8 bits: fraction of the current frame */                     \
  X(kWordPositionX, 3, "position_x")                                                                     \
  X(kWordPositionY, 4, "position_y")                                                                     \
  X(kWordPositionZ, 5, "position_z")                                                                     \
  X(kWordRotationX, 6, "rotation_x")  /* pitch */                                                        \
  X(kWordRotationY, 7, "rotation_y")  /* heading */                                                      \
  X(kWordRotationZ, 8, "rotation_z")  /* roll */                                                         \
  X(kWordVelocityX, 9, "velocity_x")                                                                     \
  X(kWordVelocityY, 10, "velocity_y")                                                                    \
  X(kWordVelocityZ, 11, "velocity_z")                                                                    \
  X(kWordSpinX, 12, "spin_x")                                                                            \
  X(kWordSpinY, 13, "spin_y")                                                                            \
  X(kWordSpinZ, 14, "spin_z")                                                                            \
  X(kWordExtent0, 15, "extent_0")  /* 15-20: half box of 3D shapes; clip rectangle of sprites (15-18) */ \
  X(kWordExtent1, 16, "extent_1")                                                                        \
  X(kWordExtent2, 17, "extent_2")                                                                        \
  X(kWordExtent3, 18, "extent_3")                                                                        \
  X(kWordExtent4, 19, "extent_4")                                                                        \
  X(kWordExtent5, 20, "extent_5")                                                                        \
  X(kWordBrainEntry, 21, "brain_entry")                                                                  \
  X(kWordStatus, 22, "status")                                                                           \
  X(kWordScore, 23, "score")                                                                             \
  X(kWordIdentity, 24, "identity")                                                                       \
  X(kWordCollisions, 25, "collisions")                                                                   \
  X(kWordRadius, 26, "radius")  /* millimetres */                                                        \
  X(kWordSoundIndex, 28, "sound_index")  /* 0 with a sound, -1 without */                                 \
  X(kWordSoundPlaying, 29, "sound_playing")  /* 0 playing, -1 not, as the last frame found it */         \
  X(kWordBoxRadius, 30, "box_radius")                                                                    \
  X(kWordScaleX, 31, "scale_x")                                                                          \
  X(kWordScaleY, 32, "scale_y")                                                                          \
  X(kWordSampleRate, 33, "sample_rate")  /* the sound's rate setting: 4096 is the file's own rate */    \
  X(kWordSoundFrequency, 34, "sound_frequency")  /* frames per second of the sound's file */            \
  X(kWordScaleZ, 35, "scale_z")                                                                          \
  X(kWordTrackState, 36, "track_state")                                                                  \
  X(kWordNetworkFlags, 37, "network_flags")                                                              \
  X(kWordOwner, 38, "owner")                                                                             \
  X(kWordChildRotationX, 39, "child_rotation_x")                                                         \
  X(kWordChildRotationY, 40, "child_rotation_y")                                                         \
  X(kWordChildRotationZ, 41, "child_rotation_z")                                                         \
  X(kWordLastFrame, 42, "last_frame")                                                                    \
  X(kWordTimer, 43, "timer")                                                                             \
  X(kWordSignals, 44, "signals")

enum Word : int {
#define VEXEL_RECORD_WORD_CONSTANT(constant, word, name) constant = word,
  VEXEL_RECORD_WORDS(VEXEL_RECORD_WORD_CONSTANT)
#undef VEXEL_RECORD_WORD_CONSTANT
  // Ranges rather than single words, so without names.
  kWordPockets = 45,       // pocket n is byte n from the start of this word
  kWordLocalsFirst = 128,  // locals: the k-th declaration is word 256 - k
  kWordLocalsLast = 255,   // local n is word 255 - n, so local 0 is the first declaration
};

inline constexpr int kLocalCount = kWordLocalsLast - kWordLocalsFirst + 1;

// A full turn in angle units (1/512 degree).
inline constexpr int32_t kFullTurn = 184320;
// Angles are folded with one less than a full turn; stored rotations and tracked headings are
// computed with this modulus, so it stays.
inline constexpr int32_t kAngleModulus = 184319;

// Folds an angle: a value below 0 gives (a mod 184319) + 184319 (1..184319), a value above 184319
// gives a mod 184319, 0..184319 stay (remainders of truncating division).
inline int32_t WrapAngle(int32_t angle) {
  if (angle < 0) return angle % kAngleModulus + kAngleModulus;
  if (angle > kAngleModulus) return angle % kAngleModulus;
  return angle;
}

// Lower-case name of a named word ("position_x", "status", ...), or nullptr for the words that
// have no name of their own (pockets and locals, unused words).
const char* WordName(int word);

// Bits of the status word.
inline constexpr uint32_t kStatusOn = 1u << 0;
inline constexpr uint32_t kStatusDisabled = 1u << 1;
inline constexpr uint32_t kStatusChildOffset = 1u << 3;
inline constexpr uint32_t kStatusSoundMode = 1u << 4;
inline constexpr uint32_t kStatusTranslucent = 1u << 5;
inline constexpr uint32_t kStatusVisible = 1u << 6;
inline constexpr uint32_t kStatusCollisions = 1u << 7;
// Whether an element takes part in drawing: switched on and shown.
inline bool OnAndShown(const int32_t* record) {
  constexpr uint32_t kWanted = kStatusOn | kStatusVisible;
  return (static_cast<uint32_t>(record[kWordStatus]) & kWanted) == kWanted;
}
inline constexpr uint32_t kStatusBoxCollisions = 1u << 8;

// [SECTION] Numbers of element records

// Thousandths of a decimal text ("1.5" -> 1500, "-0.25" -> -250, "12.3456" -> 12345): leading
// blanks skipped, an optional sign, digits, '.', at most three decimals used; reading stops at the
// first other character; non-numeric text -> 0. Saturated at +-2^44, so any unit factor applied
// to it fits in 64 bits.
int64_t ParseThousandths(std::string_view text);
// The integer part of a decimal text modulo 2^32, the way plain integer fields read
// ("4294967295" -> -1, "12.9" -> 12); non-numeric text -> 0.
int32_t ParseInteger(std::string_view text);

// [SECTION] Play start

struct Project;

struct ConversionOptions {
  int32_t displayMode = 1;      // display-mode bit: 1, 2 (640 x 480), 4, 8 (800 x 600), 16, 32 (1024 x 768)
  bool playing = false;         // a game or test play: value ranges are drawn from `random`
  uint32_t recordsAddress = 0;  // guest address of state record 0; element parameters point into it
  core::RandomSource* random = nullptr;  // required for ranges to take effect; advanced per draw
};

// Field 37 of a camera: its rectangle in 640 x 480 pixels and the three camera values.
struct CameraSetup {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  int32_t value = 0;       // item 5
  int32_t pairFirst = 0;   // item 6, "first&second"
  int32_t pairSecond = 0;
  int32_t extra = 0;       // item 7
};

// A working-variable parameter whose start value the brain compiler resolves (it is a brain
// operand: a number with a unit suffix, hexadecimal, ...).
struct PendingVariable {
  int32_t byteOffset = 0;  // in the element's state record, already checked to hold a whole word
  std::string text;
};

// What the aspect loading and the scene set-up need of an element beyond its state record.
struct ElementSetup {
  int32_t type = 0;
  // Items 1-4 of field 37 (x1, y1, x2, y2) for cameras, sprites, backgrounds and counters; for
  // sprites and backgrounds already scaled to the display mode (and also in state words 15-18).
  int32_t rectangle[4] = {};
  int32_t width = 0;  // item 5 of field 37, "WxH", for sprites, backgrounds and counters
  int32_t height = 0;
  bool cameraReady = false;  // a camera whose field 37 has its seven items
  CameraSetup camera;
  std::vector<PendingVariable> variables;
};

// Fills the 256 state records (`records`: 256 x 256 words) from the project's element records, in
// index order, and describes each element in *setups (resized to the element count; may be null).
// Every record is cleared first; the records after the last element become copies of the last
// one. Numeric fields convert with 64-bit intermediates and are clamped to the 32-bit range (never
// wrapped); integer fields, the identity bits among them, are read modulo 2^32. A camera whose
// field 37 does not have exactly seven items is not set up and its field 38 in the project becomes
// "0". Aspect slot words, the brain entry and the sound index are left at 0 for the later steps.
// False, nothing written, when the project has more than 256 elements.
bool FillStateRecords(Project* project, const ConversionOptions& options, int32_t* records,
                      std::vector<ElementSetup>* setups);

// Number of frames of an animated aspect: the aspect itself, then the files named by the path
// with its last three characters replaced by 002, 003, ... up to 999, stopping at the first that
// is missing.
int32_t CountAspectFrames(const std::string& aspectPath);
// CountAspectFrames, stored as item 2 of the record's field 38. Returns the count.
int32_t FindAspectFrames(std::string* record, const std::string& aspectPath);

}  // namespace model
