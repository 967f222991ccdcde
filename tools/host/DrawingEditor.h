#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "tools/host/Drawing.h"
#include "tools/host/DrawingOperations.h"
#include "tools/host/EditScript.h"

// Applies the drawing steps of an edit script (move to view) to the host's drawing. The drawing
// is never changed in place: each edit makes a new one, since the records of a stream point into
// the drawing they were built from.
class DrawingEditor {
public:
  explicit DrawingEditor(std::shared_ptr<const Drawing> drawing);

  // True for the steps this editor applies.
  static bool ChangesDrawing(EditKind kind);
  // Applies `step`, filling `change` with what a host sends for it. False, with `problem` saying
  // which name is unknown or which file cannot be read, when the drawing is left as it was.
  bool Apply(const EditStep& step, DrawingChange& change, std::string& problem);

  const std::shared_ptr<const Drawing>& drawing() const { return drawing_; }

private:
  std::shared_ptr<const Drawing> drawing_;
  uint64_t instancesMade_ = 0;  // ids handed out so far, removed ones included
};
