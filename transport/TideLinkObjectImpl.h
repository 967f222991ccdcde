#pragma once

#include <cstdint>
#include <memory>

#include "transport/TideLinkObject.h"
#include "transport/WireFormat.h"

class TideLinkDocumentImpl;

// An object's hold on its record block. The document owns its objects; an object refers back to
// it only weakly, so one that outlives its document is inert.
class TideLinkObjectImpl : public TideLinkObject {
public:
  // `record` may be null (the document was full): the object then never writes anything.
  TideLinkObjectImpl(std::weak_ptr<TideLinkDocumentImpl> document, wire::RecordHeader* record);

  bool IsValid() const override;
  bool IsDirty() const override;
  // Gives up the record and the document; true when the object was valid.
  virtual bool Detach();
  // Writes pending changes into the record; true when something was written.
  virtual bool Flush();
  virtual wire::RecordHeader* GetRecord() const;
  // The record's tag and id; 0 once detached.
  virtual uint32_t GetTag() const;
  virtual uint32_t GetRecordId() const;

protected:
  std::weak_ptr<TideLinkDocumentImpl> document_;
  wire::RecordHeader* record_;
  bool dirty_ = false;
};
