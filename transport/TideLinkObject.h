#pragma once

// Anything that owns a record in a link document.
class TideLinkObject {
public:
  virtual ~TideLinkObject() = default;
  // The object still owns its record.
  virtual bool IsValid() const = 0;
  // The object has changes that the next commit writes.
  virtual bool IsDirty() const = 0;
};
