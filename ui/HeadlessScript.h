#pragma once

#include <deque>
#include <string>
#include <string_view>
#include <vector>

// The answers a headless run gives, one per line (or separated by ';', except that a save answer
// with a path runs to the end of its line), each kind taken in its own order:
//   message yes|no|ok|cancel|close   the next message box
//   dialog 1003 cancel               the next modal dialog: items clicked in turn (numbers, ok,
//                                    cancel, close); afterwards Enter is pressed if it is open
//   save /path/file.dae              the next save dialog confirms this path
//   save                             ... confirms the offered name
//   save-cancel                      ... is cancelled
// Empty lines and lines starting with '#' are skipped. What runs out of answers is met with
// Enter: a box's default button, a dialog's default button, a save dialog's offered name.
namespace ui {

// A message box answer that presses the close box, whatever that gives on the box.
inline constexpr int kCloseBoxAnswer = 0;

struct SaveAnswer {
  enum class Kind { AcceptOffered, Path, Cancel };
  Kind kind = Kind::AcceptOffered;
  std::u16string path;
};

struct HeadlessScript {
  std::deque<int> messageAnswers;  // button results, or kCloseBoxAnswer
  std::deque<std::vector<int>> dialogCommands;
  std::deque<SaveAnswer> saveAnswers;
  std::vector<std::string> errors;  // "answer N: ..." for each one that was not understood

  // Understands what it can; a line it cannot is skipped and reported in `errors`.
  static HeadlessScript Parse(std::string_view text);
};

}  // namespace ui
