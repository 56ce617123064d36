// The dialog document of a session listing of many sessions, against the floor: the same
// bytes appended by hand into one wide string.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include <winport/wide.h>
#include <winport/windows.h>

#include "admin/group_tags.h"
#include "documents/listing_document.h"
#include "timed_writes.h"

namespace {

using winport::WideString;

// What the session manager hands out per session: its opening fragment and groups.
struct Session {
  WideString opening;
  ULONG groups;
  bool self;
};

std::vector<Session> MakeSessions(int count) {
  std::vector<Session> sessions;
  sessions.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    const std::string opening =
        "<SESSION id=\"" + std::to_string(i) + "\" user=\"user" + std::to_string(i % 97) + "\">";
    sessions.push_back({WideString(opening.begin(), opening.end()), static_cast<ULONG>(i) & 0xFFu,
                        i == count / 2});
  }
  return sessions;
}

// The listing as the session walk writes it, into its dialog.
WideString BuilderDocument(const std::vector<Session>& sessions) {
  quillmere::CListingDocument document(OLESTR("Administrative Session List"),
                                       OLESTR("ADMINSESSIONLIST"));
  WideString& listing = document.Content();
  for (const Session& session : sessions) {
    listing += session.opening;
    if (session.self) listing += OLESTR("<SELF/>");
    quillmere::AppendGroupTags(session.groups, listing);
    listing += OLESTR("</SESSION>");
  }
  return document.Finish();
}

const OLECHAR* const kTags[] = {
    OLESTR("<QMS_ADMIN/>"),         OLESTR("<QMS_BATCHABLE/>"),
    OLESTR("<QMS_UPLOADDATA/>"),    OLESTR("<QMS_DOWNLOADFILES/>"),
    OLESTR("<QMS_UPLOADSCRIPTS/>"), OLESTR("<QMS_PORTALINTERACTIVE/>"),
    OLESTR("<QMS_PORTAL/>"),
};

WideString PlainDocument(const std::vector<Session>& sessions) {
  WideString output;
  output.append(
      OLESTR("<QMSDIALOG><QMSDIALOGBAR><QMSSTATIC fontface=\"system\" fontsize=\"\" "
             "txtcolor=\"#FFFFFF\" text=\"Administrative Session List\"/> \n</QMSDIALOGBAR> \n"
             "<QMSDIALOGCONTENT><ADMINSESSIONLIST>"));
  for (const Session& session : sessions) {
    output.append(session.opening);
    if (session.self) output.append(OLESTR("<SELF/>"));
    output.append(OLESTR("<QMSGROUPS>"));
    for (unsigned bit = 0; bit < 7; ++bit) {
      if ((session.groups >> bit) & 1u) output.append(kTags[bit]);
    }
    output.append(OLESTR("</QMSGROUPS></SESSION>"));
  }
  output.append(OLESTR("</ADMINSESSIONLIST> \n</QMSDIALOGCONTENT> \n</QMSDIALOG>"));
  return output;
}

template <WideString (*Write)(const std::vector<Session>&)>
void SessionList(benchmark::State& state) {
  const std::vector<Session> sessions = MakeSessions(10000);
  if (BuilderDocument(sessions) != PlainDocument(sessions)) {
    state.SkipWithError("the listing and the plain loop wrote different documents");
    return;
  }
  TimeWrites(state, [&sessions] { return Write(sessions); });
}
BENCHMARK(SessionList<BuilderDocument>)->Name("Documents/SessionList10000/ours");
BENCHMARK(SessionList<PlainDocument>)->Name("Documents/SessionList10000/peer");

}  // namespace
