#include "session_enumerator.h"

#include <algorithm>
#include <utility>

namespace quillmere::host {

SessionEnumerator::SessionEnumerator(std::shared_ptr<const Records> records, size_t position)
    : records_(std::move(records)), position_(position) {}

HRESULT SessionEnumerator::Next(ULONG count, quillmere::ISessionRecord** sessions, ULONG* fetched) {
  if (fetched != nullptr) *fetched = 0;
  if (sessions == nullptr || (count > 1 && fetched == nullptr)) return E_POINTER;
  ULONG delivered = 0;
  for (; delivered < count && position_ < records_->size(); ++delivered, ++position_) {
    quillmere::ISessionRecord* record = (*records_)[position_].Get();
    record->AddRef();
    sessions[delivered] = record;
  }
  if (fetched != nullptr) *fetched = delivered;
  return delivered == count ? S_OK : S_FALSE;
}

HRESULT SessionEnumerator::Skip(ULONG count) {
  const size_t left = records_->size() - position_;
  position_ += std::min<size_t>(count, left);
  return count <= left ? S_OK : S_FALSE;
}

HRESULT SessionEnumerator::Reset() {
  position_ = 0;
  return S_OK;
}

HRESULT SessionEnumerator::Clone(quillmere::ISessionEnumerator** clone) {
  if (clone == nullptr) return E_POINTER;
  *clone = nullptr;
  auto copy = winport::MakeComObject<SessionEnumerator>(records_, position_);
  if (!copy) return E_OUTOFMEMORY;
  *clone = copy.Detach();
  return S_OK;
}

}  // namespace quillmere::host
