// Public header of the editor widgets: the tools' 8-bit canvas and its colours, the skin, panels
// and the button table, and the modal boxes every tool and play uses (message, input, menu, colour
// picker, file picker, folder browser), plus panel layout pictures. The widgets never call the
// platform: input, presentation and scripted answers come through a WidgetHost the program fills,
// so the same code runs in the engine, in `vexel widget` and in tests.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/display.h"
#include "engine/widgets/editor_font.h"

namespace engine {
namespace widgets {

// [SECTION] Colours

// Canvas colour index of an RGB colour (each 0-255): near-black gives 0 or 1, near-white 254 or
// 255, anything else the 7 x 6 x 6 cube from index 2.
uint8_t MapColour(int red, int green, int blue);
// The palette that inverts the mapping: 0 black, 1 and 254 the dark and light greys the rules
// give, 255 white, the cube from index 2 (each step's middle). 768 bytes, red, green, blue.
std::array<uint8_t, 768> CanvasPalette();

struct Shades {
  uint8_t light = 0;   // MapColour(255, 255, 255)
  uint8_t middle = 0;  // MapColour(171, 171, 171)
  uint8_t dark = 0;    // MapColour(69, 69, 69)
};
Shades InterfaceShades();

// [SECTION] Canvas

// One byte per pixel, the display mode's size, with the start of every row. Pixel 0 is black and
// the background, 255 white. Every drawing call clips to it.
struct Canvas {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;
  std::vector<uint8_t*> rows;

  Canvas() = default;
  // A copy gets its own row table (the rows point into its own pixels); a move keeps the buffer.
  Canvas(const Canvas& other) : width(other.width), height(other.height), pixels(other.pixels) { IndexRows(); }
  Canvas& operator=(const Canvas& other) {
    if (this != &other) {
      width = other.width;
      height = other.height;
      pixels = other.pixels;
      IndexRows();
    }
    return *this;
  }
  Canvas(Canvas&&) noexcept = default;
  Canvas& operator=(Canvas&&) noexcept = default;

  // Sizes the canvas for a mode (and clears it); any positive size works.
  void Resize(int newWidth, int newHeight);
  void Clear();
  // Inclusive coordinates, clipped; a negative colour XORs every pixel with its absolute value.
  void FillRect(int left, int top, int right, int bottom, int colour);
  // The pixel, or the coordinate itself (x when x is outside, else y) outside the canvas.
  int PixelAt(int x, int y) const;
  CanvasView View() { return CanvasView{pixels.data(), width, width, height}; }
  // Rebuilds the row table over the pixels.
  void IndexRows();
};

// The display conversion of canvas colours: 16-bit pixels (BuildConversionTable over the canvas
// palette) and the same colours widened for 32-bit surfaces (WidenPixel).
struct CanvasColours {
  std::array<uint16_t, 256> narrow{};
  std::array<uint32_t, 256> wide{};
};
CanvasColours MakeCanvasColours(const uint8_t* palette768, const PixelFormat& format);
// Converts the canvas into the surface (16 or 32 bits), over the smaller of the two sizes.
void PresentCanvas(const Canvas& canvas, const CanvasColours& colours, const Surface& surface);
// Every byte of the surface's rows to 0, whatever its depth.
void ClearSurface(const Surface& surface);

// [SECTION] Skin

// Where the pieces lie in the skin picture (128 pixels wide). The data generator draws the skin
// from this table and the widgets read it: one table for both.
struct SkinLayout {
  static constexpr int kWidth = 128;
  static constexpr int kPiece = 4;
  // The eight 4 x 4 frame pieces of a set, in this order: top-left, top, top-right, left, right,
  // bottom-left, bottom, bottom-right; raised set on row 0 from x 0, sunken set on row 0 from x 32.
  static constexpr int kRaisedX = 0;
  static constexpr int kSunkenX = 32;
  static constexpr int kPiecesY = 0;
  static constexpr int kTitleY = 4;  // 128 x 22
  static constexpr int kTitleHeight = 22;
  static constexpr int kCloseY = 26;  // 34 x 14; the variant without a close box 34 to the right
  static constexpr int kCloseWidth = 34;
  static constexpr int kCloseHeight = 14;
  static constexpr int kIconsY = 40;  // 16 x 16 icons, 8 a row
  static constexpr int kIcon = 16;
  static constexpr int kIconCount = 16;
  static constexpr int kInteriorX = 64;  // one pixel of the panel interior colour on row 0
  static constexpr int kHeight = kIconsY + 2 * kIcon;
};

struct Skin {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;  // canvas colours (the skin's palette is the canvas palette)
  std::array<uint8_t, 768> palette{};
  uint8_t interior = 0;  // panel interior colour
  bool builtin = false;  // the flat look drawn without a picture
};
// Reads the skin from a PCX file's bytes. A missing, short or too narrow picture gives the
// built-in flat look (grey interior, light and dark edges) with the reason in *error (false).
bool LoadSkin(std::string_view pcxBytes, Skin* out, std::string* error);
Skin BuiltinSkin();

// [SECTION] Host: what the program provides

// A scripted answer for the next box: a number (-1 is Esc) or a text.
struct WidgetAnswer {
  bool isNumber = false;
  int number = 0;
  std::string text;
};

// The key event of the input queue: typed character (0 for a bare key) and set-1 scan code.
struct WidgetKey {
  uint8_t character = 0;
  uint8_t scan = 0;
};

// Scan codes the widgets react to.
inline constexpr uint8_t kScanEsc = 1, kScanBackspace = 14, kScanEnter = 28, kScanHome = 71, kScanPageUp = 73,
                         kScanLeft = 75, kScanRight = 77, kScanEnd = 79, kScanPageDown = 81, kScanDelete = 83;

class WidgetHost {
 public:
  virtual ~WidgetHost() = default;
  // One pass of the input pump; the keys and the mouse below then describe it.
  virtual void Pump() = 0;
  virtual bool PopKey(WidgetKey* key) = 0;
  virtual void FlushKeys() = 0;
  virtual int MouseX() const = 0;
  virtual int MouseY() const = 0;
  virtual int MouseButtons() const = 0;  // 0 none, 1 left, 2 right
  // Converts the canvas for the display and shows it as a frame.
  virtual void Present(const Canvas& canvas) = 0;
  // Fills the display with black and shows it.
  virtual void ClearDisplay() = 0;
  // Between two passes of a waiting box: about 1/60 s on the real clock, nothing on a virtual one.
  virtual void Idle() = 0;
  // False when no input can come any more (a headless run whose script is used up), and while a
  // stop signal asks the program to end: a box then takes its default.
  virtual bool InputMayArrive() const = 0;
  // The next scripted answer; false when the script has none left.
  virtual bool TakeAnswer(WidgetAnswer* answer) = 0;
  // A modal box opens (notices excepted): `kind` names it ("box", "input", "menu", "colour",
  // "files", "folder") and `text` is its text or title. The host may capture the next presented
  // frame.
  virtual void BoxOpened(std::string_view kind, std::string_view text) = 0;
  // A box ended; `result` as text (the number a box, menu or colour picker returns, the text of
  // an input box); `defaulted` when it took its default because no input could come.
  virtual void BoxClosed(std::string_view kind, std::string_view text, std::string_view result, bool defaulted) = 0;
  // Minimises the window and returns once it is active again (false when it cannot: headless).
  virtual bool MinimiseAndWait() = 0;
};

// [SECTION] Screen: canvas, skin, font and button table

inline constexpr int kButtonSlots = 600;  // the largest panel in use: the builder's 500-line list
inline constexpr int kCloseBoxCode = 0x7FFF;  // what HitTest returns inside the close box

struct ButtonSlot {
  int16_t left = -1;  // bit 15 set when drawn sunken; -1 marks a free slot
  int16_t top = 0;
  int16_t right = 0;
  int16_t bottom = 0;
};

// The widgets' process-long state: wiped never, the canvas resized with the display mode.
struct WidgetScreen {
  Canvas canvas;
  Skin skin;
  const EditorFont* font = nullptr;  // the current editor font; the built-in one when null
  Shades shades;
  uint8_t textColour = 255;
  std::array<ButtonSlot, kButtonSlots> buttons;
  std::array<int, 4> closeBox = {-1, -1, -1, -1};  // left, top, right, bottom
  bool hasCloseBox = false;
  bool noticeShown = false;
  WidgetHost* host = nullptr;
};

// The font the screen draws with, and its height for layouts.
const EditorFont& ScreenFont(const WidgetScreen& screen);

void DrawPanel(WidgetScreen& screen, int left, int top, int right, int bottom, bool hasCloseBox);
void DrawFrame(WidgetScreen& screen, int left, int top, int right, int bottom);
// Returns the slot, or -1 (nothing drawn) when every slot is taken.
int AddButton(WidgetScreen& screen, int left, int top, int right, int bottom, bool sunken);
void ClearButtons(WidgetScreen& screen);
void ButtonLabel(WidgetScreen& screen, std::string_view text, int slot);
// kCloseBoxCode inside the close box of a panel that has one. A left press in the minimise strip
// (the close box's rectangle moved 18 pixels left) waits for the release (at most about ten
// seconds of passes), minimises through the host and gives -1. Else the first slot holding the
// mouse, or -1.
int HitTest(WidgetScreen& screen);

// [SECTION] Boxes

// Splits at spaces and joins words while the line stays within 560 pixels; a word holding '|'
// starts a new line there. The lines joined with '|'.
std::string WrapText(const EditorFont& font, std::string_view text);

// The question box as the layout computes it. Lines come from WrapText; the row pitch is the font
// height + 6; the panel is drawn from 16 pixels above `top`. Each button is its label's width
// (rounded down to 4) + 32 wide; the second exists only with a second label.
struct QuestionLayout {
  std::vector<std::string> lines;
  int fontHeight = 0;
  int lineWidth = 0;  // widest line
  std::array<int, 2> labelWidths{};
  int left = 0, top = 0, width = 0, height = 0;
  std::vector<std::array<int, 4>> buttons;  // left, top, right, bottom
};
QuestionLayout LayoutQuestion(const EditorFont& font, int screenWidth, int screenHeight, std::string_view text,
                              std::string_view first, std::string_view second);

// The menu box as the layout computes it: the entries shown (the first kMenuEntries), the panel and
// one button rectangle (left, top, right, bottom) per entry.
inline constexpr int kMenuEntries = 15;
inline constexpr int kMenuButtonWidth = 500;
struct MenuLayout {
  std::vector<std::string> entries;
  int left = 0, top = 0, width = 0, height = 0;
  std::vector<std::array<int, 4>> buttons;
};
MenuLayout LayoutMenu(const EditorFont& font, int screenWidth, int screenHeight, std::string_view entries);

// Every box below opens with BoxOpened, presents its first frame, then takes the host's next
// scripted answer if there is one; otherwise it waits on the host's input, one pass at a time,
// presenting when its picture changes, for as long as input may arrive, and else takes its
// default. It closes with BoxClosed and leaves a black canvas and display.
//
// Scripted answers: a question takes a button number from 0 or a label (equal, else equal once
// trimmed and ignoring case; one that fits no button, Esc included, gives the first); an input box
// its text (a number as its decimal, -1 keeps the text); a menu an entry number from 0 or an
// entry's text (-1 and unknown entries give 0); the colour picker an index 0-255 (a number or its
// digits; anything else keeps `current`). Defaults: the first button, the text as given, menu 0,
// `current`.
//
// Question (either label non-empty): 1 or 2. Notice (labels empty, text not): drawn, returns 0 at
// once. Remove notice (all empty): clears the canvas and display, returns 0.
int MessageBox(WidgetScreen& screen, std::string_view text, std::string_view first, std::string_view second);
// The edited text, whatever ended the box.
std::string InputBox(WidgetScreen& screen, int minimumWidth, std::string_view text, std::string_view prompt);
// Entries separated by '|' (the first 15 shown); the chosen entry from 1, 0 for Esc.
int MenuBox(WidgetScreen& screen, std::string_view entries);
// The chosen index, or `current` for Esc and a right click.
int ColourPicker(WidgetScreen& screen, int current);

// [SECTION] Pickers

// Draws one file's preview into the cell (left, top, 160 x 120) and returns the label suffix
// (" 640x480", " 640x480 3"); the previewers of the categories are the defaults.
using Previewer = std::function<std::string(WidgetScreen& screen, const std::string& path, int left, int top)>;
// The file name chosen in `folder` (a name in it), or "" for none. `crashed.txt` goes into
// `dataFolder` around each preview. `previewer`, when given, replaces the category's own (tests).
// After "Change Directory" the name is relative to `folder` when the new folder lies inside it,
// else a full path.
std::string FilePicker(WidgetScreen& screen, const std::string& dataFolder, const std::string& folder, int category,
                       std::string_view title, const Previewer* previewer = nullptr);
// As FilePicker, with the folder in and out: it starts in *folder and ends holding the folder the
// chosen name lies in ("Change Directory" may have moved it), so a tool can start there next time.
std::string FilePickerInFolder(WidgetScreen& screen, const std::string& dataFolder, std::string* folder, int category,
                               std::string_view title, const Previewer* previewer = nullptr);
// The pattern of a category ("*.pcx"); "*.*" for an unknown one.
std::string CategoryPattern(int category);
// The path chosen, or "" for none.
std::string FolderBrowser(WidgetScreen& screen, const std::string& path, std::string_view pattern);

// [SECTION] Panel layout pictures

struct LayoutControl {
  int left = 0, top = 0, right = 0, bottom = 0;
  uint8_t colour = 0;  // 32 raised button, 218 sunken button, 7 text field, 248 value field
  std::string label;   // fields only
};
// Scans a picture (row-major, `pitch` bytes a row) for controls, in the order of their top-left
// corners, within its own size.
std::vector<LayoutControl> ScanLayout(const uint8_t* pixels, int width, int height, int pitch);
// Scans and draws the controls (buttons into the table, fields with their labels in colour 255);
// returns the number of buttons made.
int DrawLayout(WidgetScreen& screen, const uint8_t* pixels, int width, int height, int pitch);

}  // namespace widgets
}  // namespace engine
