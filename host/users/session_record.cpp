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

SessionRecord::SessionRecord(SessionInfo info, std::string xml, LONG jobs)
    : info_(std::move(info)), xml_(std::move(xml)), jobs_(jobs) {}

HRESULT SessionRecord::GetSessionId(LONG* id) {
  return Give(id, info_.id);
}
HRESULT SessionRecord::GetUser(BSTR* user) {
  return GiveText(user, info_.user);
}
HRESULT SessionRecord::GetIdentityToken(BSTR* token) {
  return GiveText(token, info_.token);
}
HRESULT SessionRecord::GetWorkstation(BSTR* workstation) {
  return GiveText(workstation, info_.workstation);
}
HRESULT SessionRecord::GetCreated(DATE* created) {
  return Give(created, info_.created);
}
HRESULT SessionRecord::GetLastAccess(DATE* lastAccess) {
  return Give(lastAccess, info_.lastAccess);
}
HRESULT SessionRecord::GetJobCount(LONG* count) {
  return Give(count, jobs_);
}
HRESULT SessionRecord::GetXml(BSTR* xml) {
  return GiveText(xml, xml_);
}
HRESULT SessionRecord::GetState(LONG* state) {
  return Give(state, kSessionOpen);
}
HRESULT SessionRecord::GetGroups(ULONG* groups) {
  return Give(groups, info_.groups);
}

}  // namespace quillmere::host
