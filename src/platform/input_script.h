// Input scripts: text files of timed input events that the input pump replays as if typed, and
// the answers for message boxes. Parsing only; the platform feeds the events in.
//
// One command a line; '#' starts a comment. A timed line starts with "@PASS", the number of the
// pump pass (counted from 0) in which its events arrive:
//   @3 keydown A          key by name (as the brains name keys) or by scan code (decimal/0x..)
//   @4 keyup A
//   @5 key RETURN         down in this pass, up in the next
//   @6 text "hello\n"     typed characters (\n gives 13, \t 9, \b 8, \\ and \" themselves)
//   @7 mouse 320 200      pointer position in logical pixels
//   @8 mousedown left     left, right or middle; mouseup likewise
//   @9 click 10 20 left   move, press, and release in the next pass
//   @10 axis 1 x -1000    controller 1 or 2, axis x y z rx ry rz s0 s1, value -1000..1000
//   @11 button 1 0 down   controller button 0..31, down or up
//   @12 hat 1 0 9000      hat 0..3, hundredths of a degree or "centre"
//   @13 pad 2 on          controller plugged in ("on") or out ("off")
//   @20 quit              ask the window to close
//   @21 stall 450         this pass takes 450 clock units (1/4500 s) longer, as a slow frame would
// Untimed lines answer boxes in the order they open:
//   answer 1              a number: a box's button or a menu's entry counted from 0, a colour
//                         index, a file's position in its picker; -1 is Esc
//   answer " OK "         a text: a button's label, a menu entry, an input box's text, a file
//                         name, a folder path
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "platform/input.h"

namespace platform {

struct TimedEvent {
  uint64_t pass = 0;
  InputEvent event;
};

struct BoxAnswer {
  bool isNumber = false;
  int32_t number = 0;  // when isNumber; -1 is Esc
  std::string text;    // otherwise
};

class InputScript {
 public:
  // Parses the text. Lines that cannot be read are skipped: each is described in *error, one
  // line per problem ("line N: ..."), and false is returned, but every good line is kept.
  bool Parse(std::string_view text, std::string* error);
  // Reads and parses a file: false when it cannot be read ("cannot read input script PATH"), or
  // as Parse, with each problem as "PATH: line N: ...".
  bool Load(const std::string& path, std::string* error);
  // After Load: whether the file could be read at all (a false Load may only mean bad lines).
  bool FileWasRead() const { return read_; }

  // Moves every event due in or before `pass` to `out`, in script order.
  void TakeDue(uint64_t pass, std::vector<InputEvent>* out);
  bool Finished() const { return next_ >= events_.size(); }

  // The next message-box answer, or false when the script has none left.
  bool TakeAnswer(BoxAnswer* answer);

  const std::vector<TimedEvent>& Events() const { return events_; }

 private:
  std::vector<TimedEvent> events_;  // sorted by pass, stable
  size_t next_ = 0;
  std::deque<BoxAnswer> answers_;
  bool read_ = false;
};

}  // namespace platform
