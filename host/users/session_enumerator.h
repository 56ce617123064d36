// Walks a snapshot of the sessions, taken when EnumSessions was called.
#pragma once

#include <memory>
#include <vector>

#include <winport/com_object.h>
#include <winport/com_ptr.h>

#include "quillmere/session_manager.h"
#include "session_record.h"

namespace quillmere::host {

class SessionEnumerator : public winport::ComObject<quillmere::ISessionEnumerator> {
 public:
  using Records = std::vector<winport::ComPtr<SessionRecord>>;

  explicit SessionEnumerator(std::shared_ptr<const Records> records, size_t position = 0);

  // S_OK when all `count` were delivered, S_FALSE when the snapshot ran out first.
  HRESULT STDMETHODCALLTYPE Next(ULONG count, quillmere::ISessionRecord** sessions,
                                 ULONG* fetched) override;
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
  HRESULT STDMETHODCALLTYPE Reset() override;
  HRESULT STDMETHODCALLTYPE Clone(quillmere::ISessionEnumerator** clone) override;

 private:
  std::shared_ptr<const Records> records_;
  size_t position_;
};

}  // namespace quillmere::host
