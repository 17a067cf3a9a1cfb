// Internals of the file picker, the folder browser and the layout pictures, shared by their files
// and their tests: file listing, previewers, clipped text and the erase of a file with its
// companions. Calls core (files) and the widgets' public header.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/widgets/widgets.h"

namespace engine {
namespace widgets {

// [SECTION] Grid of the file picker

inline constexpr int kPickerColumns = 3;
inline constexpr int kPickerRows = 3;
inline constexpr int kPickerPage = kPickerColumns * kPickerRows;
inline constexpr int kCellWidth = 160;
inline constexpr int kCellHeight = 120;
inline constexpr char kCrashedFile[] = "crashed.txt";

// Top-left corner of cell `index` (0..8) of a page.
inline int CellLeft(int index) { return 40 + 200 * (index % kPickerColumns); }
inline int CellTop(int index) { return 80 + 130 * (index / kPickerColumns); }

// Pages of `files` names, at least 1; the page clamped into 0..pages - 1.
int PageCount(int files);
int ClampPage(int page, int files);

// [SECTION] Listing

// True when `name` matches a pattern of the form "*.ext" or "*.*" (case-insensitive extension).
bool MatchesPattern(std::string_view name, std::string_view pattern);
// The regular files of `folder` that match `pattern`, sorted by name; entries of sub-folders (a
// listing marks them "(dir)") never appear. Empty when the folder cannot be read.
std::vector<std::string> ListMatchingFiles(const std::string& folder, std::string_view pattern);
// The sub-folders of `folder`, sorted by name; false when the folder cannot be read.
bool ListSubFolders(const std::string& folder, std::vector<std::string>* names);
// `folder` + "/" + `name` without doubling a trailing '/'.
std::string JoinPath(const std::string& folder, std::string_view name);

// [SECTION] Previewers

enum class PreviewKind { kText, kPicture, kBitmap, kCamera, kModel };
PreviewKind PreviewKindOf(int category);

// The canvas colour of each entry of a 768-byte palette, through MapColour.
std::array<uint8_t, 256> MappedPalette(const uint8_t* palette768);
// Draws a picture of `width` x `height` canvas colours (`at(x, y)` gives one) into the cell at
// (left, top): scaled to fit 160 x 120 keeping its proportions, centred, nearest pixel.
void DrawScaledIntoCell(WidgetScreen& screen, int left, int top, int width, int height,
                        const std::function<uint8_t(int, int)>& at);
// The number of frames of the animation whose first picture is `path`: 1 plus the companions
// path-with-its-last-three-characters-replaced-by 002, 003, ... that exist.
int FrameCount(const std::string& path);
// The text a text preview shows: the first 400 characters, tabs as spaces, other control
// characters but line ends dropped.
std::string PreviewText(std::string_view bytes);

std::string PreviewPicture(WidgetScreen& screen, const std::string& path, int left, int top);
std::string PreviewBitmap(WidgetScreen& screen, const std::string& path, int left, int top);
std::string PreviewCamera(WidgetScreen& screen, const std::string& path, int left, int top);
std::string PreviewTextFile(WidgetScreen& screen, const std::string& path, int left, int top);
std::string PreviewModel(WidgetScreen& screen, const std::string& path, int left, int top);
// The previewer of a category.
Previewer CategoryPreviewer(int category);

// [SECTION] Text helpers

// Draws `text` inside the rectangle (inclusive), nothing outside it: centred on the rectangle
// when `centred`, else from its left edge (vertically centred either way).
void DrawTextInRect(WidgetScreen& screen, int left, int top, int right, int bottom, std::string_view text,
                    uint8_t colour, bool centred);
// Text wrapped at the rectangle's width (at spaces where it can, inside long words where it
// must) and at line ends, drawn from its top-left, cut at its bottom.
void DrawWrappedInRect(WidgetScreen& screen, int left, int top, int right, int bottom, std::string_view text,
                       uint8_t colour);
// The label with a one-pixel black outline: colour 0 at the four diagonal offsets, then 255.
void DrawOutlinedLabel(WidgetScreen& screen, int centreX, int y, int maxWidth, std::string_view text);

// [SECTION] Erase

// Deletes the file and its companions: a project's ".col" file, else the numbered companions
// (the last three characters replaced by 002 ... 999, or from n when they are a number n).
// False with the reason when the file itself could not be deleted.
bool EraseWithCompanions(const std::string& path, std::string* reason);

// [SECTION] Waiting

// Pumps until no mouse button is held, at most about ten seconds of passes, or until no input
// may arrive.
void WaitForRelease(WidgetScreen& screen);

}  // namespace widgets
}  // namespace engine
