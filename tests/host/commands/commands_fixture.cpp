// What the operator's commands read, written the way the module writes it, for their tests:
//   commands_fixture send PATHNAME TEXT...          UTF-16 bodies, one message each
//   commands_fixture event SOURCE TYPE ID TEXT...   as this process's user
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <winport/mq.h>
#include <winport/scoped_handle.h>
#include <winport/windows.h>

namespace {

int Send(const winport::WideString& pathName, int count, char** texts) {
  winport::WideString path = pathName;
  QUEUEPROPID ids[] = {PROPID_Q_PATHNAME};
  MQPROPVARIANT values[1] = {};
  values[0].vt = VT_LPWSTR;
  values[0].pwszVal = path.data();
  MQQUEUEPROPS properties{1, ids, values, nullptr};
  WCHAR formatName[260];
  DWORD length = 260;
  HRESULT result = MQCreateQueue(nullptr, &properties, formatName, &length);
  if (result == MQ_ERROR_QUEUE_EXISTS) {
    length = 260;
    result = MQPathNameToFormatName(path.c_str(), formatName, &length);
  }
  QUEUEHANDLE queue = nullptr;
  if (result == MQ_OK) result = MQOpenQueue(formatName, MQ_SEND_ACCESS, MQ_DENY_NONE, &queue);
  for (int i = 0; i < count && result == MQ_OK; ++i) {
    winport::WideString body = winport::Utf8ToWide(texts[i]);
    MSGPROPID messageIds[] = {PROPID_M_BODY};
    MQPROPVARIANT body_value[1] = {};
    body_value[0].vt = VT_VECTOR | VT_UI1;
    body_value[0].caub.cElems = static_cast<ULONG>(body.size() * sizeof(char16_t));
    body_value[0].caub.pElems = reinterpret_cast<UCHAR*>(body.data());
    MQMSGPROPS message{1, messageIds, body_value, nullptr};
    result = MQSendMessage(queue, &message, MQ_NO_TRANSACTION);
  }
  if (queue != nullptr) MQCloseQueue(queue);
  if (result != MQ_OK) std::fprintf(stderr, "send: 0x%08X\n", static_cast<unsigned>(result));
  return result == MQ_OK ? 0 : 1;
}

int Event(const char* source, WORD type, DWORD id, int count, char** texts) {
  HANDLE token = nullptr;
  OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
  const winport::ScopedHandle owned(token);
  BYTE user[256];
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, user, sizeof user, &size);
  const PSID sid = reinterpret_cast<TOKEN_USER*>(user)->User.Sid;
  std::vector<winport::WideString> strings;
  std::vector<LPCWSTR> pointers;
  for (int i = 0; i < count; ++i)
    strings.push_back(winport::Utf8ToWide(texts[i]));
  for (const auto& text : strings)
    pointers.push_back(text.c_str());
  const HANDLE log = RegisterEventSourceW(nullptr, winport::Utf8ToWide(source).c_str());
  const BOOL written =
      ReportEventW(log, type, 0, id, sid, static_cast<WORD>(count), 0, pointers.data(), nullptr);
  DeregisterEventSource(log);
  return written ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string what = argc > 2 ? argv[1] : "";
  if (what == "send") return Send(winport::Utf8ToWide(argv[2]), argc - 3, argv + 3);
  if (what == "event" && argc > 4)
    return Event(argv[2], static_cast<WORD>(std::atoi(argv[3])),
                 static_cast<DWORD>(std::strtoul(argv[4], nullptr, 0)), argc - 5, argv + 5);
  std::fprintf(stderr,
               "usage: commands_fixture send PATHNAME TEXT... | event SOURCE TYPE ID TEXT...\n");
  return 2;
}
