#include "session_record.h"

#include <utility>

#include "com_support.h"
#include "host/common/utc_time.h"
#include "host/common/xml_text.h"

namespace quillmere::host {

std::string SessionOpeningXml(LONG id, std::string_view user,
                              std::chrono::system_clock::time_point started) {
  return "<SESSION id=\"" + std::to_string(id) + "\" user=\"" + EscapeXmlAttribute(user) +
         "\" started=\"" + UtcText(started) + "\">";
}

SessionRecord::SessionRecord(std::shared_ptr<const SessionState> state, LONG jobs)
    : state_(std::move(state)), lastAccess_(ToOleDate(state_->LastAccess())), jobs_(jobs) {}

HRESULT SessionRecord::GetSessionId(LONG* id) {
  return Give(id, state_->id);
}
HRESULT SessionRecord::GetUser(BSTR* user) {
  return GiveText(user, state_->user);
}
HRESULT SessionRecord::GetIdentityToken(BSTR* token) {
  return GiveText(token, state_->token);
}
HRESULT SessionRecord::GetWorkstation(BSTR* workstation) {
  return GiveText(workstation, state_->workstation);
}
HRESULT SessionRecord::GetCreated(DATE* created) {
  return Give(created, ToOleDate(state_->created));
}
HRESULT SessionRecord::GetLastAccess(DATE* lastAccess) {
  return Give(lastAccess, lastAccess_);
}
HRESULT SessionRecord::GetJobCount(LONG* count) {
  return Give(count, jobs_);
}
HRESULT SessionRecord::GetXml(BSTR* xml) {
  return GiveText(xml, state_->openingXml);
}
HRESULT SessionRecord::GetState(LONG* state) {
  return Give(state, kSessionOpen);
}
HRESULT SessionRecord::GetGroups(ULONG* groups) {
  return Give(groups, state_->groups);
}

}  // namespace quillmere::host
