#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// An edit script: what a user does to the linked drawing, one step a line. Words are separated by
// spaces; a name with spaces is written in double quotes. Empty lines and lines starting with '#'
// are skipped. Lengths are millimetres, angles degrees, colours 0 to 1.
//   move INSTANCE DX DY DZ          rotate INSTANCE DEGREES        mirror INSTANCE
//   materials INSTANCE MATERIAL...  remove INSTANCE                add INSTANCE GEOMETRY X Y Z MATERIAL...
//   replace GEOMETRY WITH-GEOMETRY  colour MATERIAL R G B          opacity MATERIAL A
//   texture MATERIAL FILE|none      touch MATERIAL
//   view EX EY EZ DX DY DZ UX UY UZ EXTENT FOCAL   (eye, direction, up, extent, focal distance)
//   layer sheet|design              projection N
//   switch FILE|back                save                           save-as FILE        close
//   button INDEX [CHOICE]           script FUNCTION                click ITEM
//   quit                            wait SECONDS

enum class EditKind {
  kMove, kRotate, kMirror, kMaterials, kRemove, kAdd, kReplace, kColour, kOpacity, kTexture, kTouch, kView,
  kLayer, kProjection, kSwitch, kSave, kSaveAs, kClose, kButton, kScript, kClick, kQuit, kWait,
};

struct EditStep {
  int line = 0;          // in the script, from 1
  std::string text;      // the line as written
  EditKind kind = EditKind::kWait;
  std::vector<std::string> names;  // the step's names in the order written, numbers left out
  std::vector<double> numbers;     // the step's numbers in the order written
};

// Every step of `text`; nothing, with `error` naming the line ("line 3: ..."), when a step is
// unknown, misses a word or has a bad number, so that a faulty script sends nothing at all.
std::optional<std::vector<EditStep>> ParseEditScript(std::string_view text, std::string& error);
