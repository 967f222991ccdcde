#include "transport/TideLinkObjectImpl.h"

#include <utility>

TideLinkObjectImpl::TideLinkObjectImpl(std::weak_ptr<TideLinkDocumentImpl> document,
                                       wire::RecordHeader* record)
    : document_(std::move(document)), record_(record) {}

bool TideLinkObjectImpl::IsValid() const { return record_ != nullptr; }

bool TideLinkObjectImpl::IsDirty() const { return dirty_; }

bool TideLinkObjectImpl::Detach() {
  const bool wasValid = IsValid();
  record_ = nullptr;
  document_.reset();
  return wasValid;
}

bool TideLinkObjectImpl::Flush() {
  if (document_.expired() || !dirty_) return false;
  dirty_ = false;
  return true;
}

wire::RecordHeader* TideLinkObjectImpl::GetRecord() const { return record_; }

uint32_t TideLinkObjectImpl::GetTag() const { return record_ ? record_->tag : 0; }

uint32_t TideLinkObjectImpl::GetRecordId() const { return record_ ? record_->id : 0; }
