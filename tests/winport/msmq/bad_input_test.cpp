// Bad input answers its own code, and leaves no message behind.
#include <gtest/gtest.h>

#include <functional>

#include "msmq_test_support.h"

namespace msmq_tests {
namespace {

using winport::WideString;

using BadInputTest = OpenedQueue;

struct PropertyCase {
  const char* what;
  PROPID id;
  std::function<void(MQPROPVARIANT&)> set;
  HRESULT status;
};

UCHAR g_bytes[4] = {1, 2, 3, 4};
WCHAR g_label[300] = u"label";
void Bytes(MQPROPVARIANT& v) {
  v.vt = VT_VECTOR | VT_UI1;
  v.caub = {4, g_bytes};
}
auto Byte(UCHAR value) {
  return [value](MQPROPVARIANT& v) {
    v.vt = VT_UI1;
    v.bVal = value;
  };
}
auto OfType(VARTYPE vt) {
  return [vt](MQPROPVARIANT& v) { v.vt = vt; };
}

TEST_F(BadInputTest, SendPropertiesEachWithTheirStatus) {
  const WideString long_label(MQ_MAX_MSG_LABEL_LEN + 1, u'L');
  const PropertyCase cases[] = {
      {"body as a string", PROPID_M_BODY, OfType(VT_LPWSTR), MQ_ERROR_ILLEGAL_PROPERTY_VT},
      {"body without bytes", PROPID_M_BODY,
       [](MQPROPVARIANT& v) {
         v.vt = VT_VECTOR | VT_UI1;
         v.caub = {4, nullptr};
       },
       MQ_ERROR_ILLEGAL_PROPERTY_VALUE},
      {"priority 8", PROPID_M_PRIORITY, Byte(8), MQ_ERROR_ILLEGAL_PROPERTY_VALUE},
      {"priority as VT_UI4", PROPID_M_PRIORITY, OfType(VT_UI4), MQ_ERROR_ILLEGAL_PROPERTY_VT},
      {"delivery 2", PROPID_M_DELIVERY, Byte(2), MQ_ERROR_ILLEGAL_PROPERTY_VALUE},
      {"null label", PROPID_M_LABEL, OfType(VT_LPWSTR), MQ_ERROR_ILLEGAL_PROPERTY_VALUE},
      {"long label", PROPID_M_LABEL,
       [&](MQPROPVARIANT& v) {
         v.vt = VT_LPWSTR;
         v.pwszVal = const_cast<LPWSTR>(long_label.c_str());
       },
       MQ_ERROR_LABEL_TOO_LONG},
      {"body type as VT_UI1", PROPID_M_BODY_TYPE, Byte(1), MQ_ERROR_ILLEGAL_PROPERTY_VT},
      {"unknown id", 9999, Byte(1), MQ_ERROR_ILLEGAL_PROPID},
      {"property id 0", 0, Byte(1), MQ_ERROR_ILLEGAL_PROPID},
  };
  for (const PropertyCase& test : cases) {
    MSGPROPID ids[2] = {PROPID_M_BODY, test.id};
    MQPROPVARIANT values[2] = {};
    Bytes(values[0]);
    test.set(values[1]);
    HRESULT status[2] = {};
    MQMSGPROPS properties{2, ids, values, status};
    if (test.id == PROPID_M_BODY) properties = {1, ids + 1, values + 1, status + 1};
    EXPECT_EQ(MQSendMessage(sender_, &properties, nullptr), test.status) << test.what;
    EXPECT_EQ(status[1], test.status) << test.what;
  }
  ULONG count = 99;
  ASSERT_EQ(CountMessages(format_name_, &count), MQ_OK);
  EXPECT_EQ(count, 0u);
}

TEST_F(BadInputTest, ReceivePropertiesAreCheckedBeforeAMessageIsTaken) {
  ASSERT_EQ(Send(sender_, "stays"), MQ_OK);
  const PropertyCase cases[] = {
      {"body as VT_UI4", PROPID_M_BODY, OfType(VT_UI4), MQ_ERROR_ILLEGAL_PROPERTY_VT},
      {"body size as VT_UI1", PROPID_M_BODY_SIZE, OfType(VT_UI1), MQ_ERROR_ILLEGAL_PROPERTY_VT},
      {"label without its length", PROPID_M_LABEL,
       [](MQPROPVARIANT& v) {
         v.vt = VT_LPWSTR;
         v.pwszVal = g_label;
       },
       MQ_ERROR_INSUFFICIENT_PROPERTIES},
      {"priority as VT_UI4", PROPID_M_PRIORITY, OfType(VT_UI4), MQ_ERROR_ILLEGAL_PROPERTY_VT},
      {"unknown id", 12345, OfType(VT_NULL), MQ_ERROR_ILLEGAL_PROPID},
  };
  for (const PropertyCase& test : cases) {
    MSGPROPID ids[1] = {test.id};
    MQPROPVARIANT values[1] = {};
    test.set(values[0]);
    MQMSGPROPS properties{1, ids, values, nullptr};
    EXPECT_EQ(MQReceiveMessage(receiver_, 0, MQ_ACTION_RECEIVE, &properties, nullptr, nullptr,
                               nullptr, nullptr),
              test.status)
        << test.what;
  }
  std::string body;
  ASSERT_EQ(Receive(receiver_, &body), MQ_OK);
  EXPECT_EQ(body, "stays");
}

TEST_F(BadInputTest, FormatNamesWithJunk) {
  const std::pair<const char16_t*, HRESULT> cases[] = {
      {u"", MQ_ERROR_ILLEGAL_FORMATNAME},
      {u"WSQueue", MQ_ERROR_ILLEGAL_FORMATNAME},
      {u"PRIVATE=", MQ_ERROR_ILLEGAL_FORMATNAME},
      {u"PRIVATE=not-a-guid\\00000001", MQ_ERROR_ILLEGAL_FORMATNAME},
      {u"PRIVATE=01234567-89ab-cdef-0123-456789abcdef\\xyz", MQ_ERROR_ILLEGAL_FORMATNAME},
      {u"PRIVATE=01234567-89ab-cdef-0123-456789abcdef\\123456789", MQ_ERROR_ILLEGAL_FORMATNAME},
      {u"PRIVATE=01234567-89ab-cdef-0123-456789abcdef\\1", MQ_ERROR_QUEUE_NOT_FOUND},
      {u"DIRECT=OS:.\\PUBLIC$\\TestQueue", MQ_ERROR_ILLEGAL_FORMATNAME},
      {u"DIRECT=OS:.\\PRIVATE$\\", MQ_ERROR_ILLEGAL_FORMATNAME},
      {u"DIRECT=OS:.\\PRIVATE$\\TestQueue\\more", MQ_ERROR_ILLEGAL_FORMATNAME},
      {u"DIRECT=OS:.\\PRIVATE$\\Missing", MQ_ERROR_QUEUE_NOT_FOUND},
      {u"DIRECT=OS:faraway\\PRIVATE$\\TestQueue", MQ_ERROR_UNSUPPORTED_OPERATION},
      {u"DIRECT=TCP:10.1.2.3\\PRIVATE$\\TestQueue", MQ_ERROR_UNSUPPORTED_OPERATION},
      {u"DIRECT=HTTP://host/msmq/private$/q", MQ_ERROR_ILLEGAL_FORMATNAME},
  };
  for (const auto& [format_name, expected] : cases) {
    QUEUEHANDLE queue = reinterpret_cast<QUEUEHANDLE>(1);
    EXPECT_EQ(MQOpenQueue(format_name, MQ_SEND_ACCESS, MQ_DENY_NONE, &queue), expected)
        << winport::WideToUtf8(format_name);
    EXPECT_EQ(queue, nullptr);
  }
  QUEUEHANDLE queue = nullptr;
  EXPECT_EQ(MQOpenQueue(nullptr, MQ_SEND_ACCESS, MQ_DENY_NONE, &queue),
            MQ_ERROR_ILLEGAL_FORMATNAME);
  EXPECT_EQ(MQOpenQueue(format_name_.c_str(), MQ_SEND_ACCESS, MQ_DENY_NONE, nullptr),
            MQ_ERROR_INVALID_PARAMETER);
  const std::pair<DWORD, DWORD> modes[] = {{0, MQ_DENY_NONE},
                                           {MQ_SEND_ACCESS | MQ_RECEIVE_ACCESS, MQ_DENY_NONE},
                                           {MQ_SEND_ACCESS, MQ_DENY_RECEIVE_SHARE},
                                           {MQ_ADMIN_ACCESS, MQ_DENY_NONE}};
  for (const auto& [access, share] : modes) {
    EXPECT_EQ(MQOpenQueue(format_name_.c_str(), access, share, &queue),
              MQ_ERROR_UNSUPPORTED_ACCESS_MODE)
        << access;
  }
  EXPECT_EQ(MQOpenQueue(format_name_.c_str(), MQ_RECEIVE_ACCESS, 7, &queue),
            MQ_ERROR_INVALID_PARAMETER);
}

TEST_F(BadInputTest, PathNamesAndQueueProperties) {
  const std::pair<const char16_t*, HRESULT> paths[] = {
      {u"", MQ_ERROR_ILLEGAL_QUEUE_PATHNAME},
      {u"NoComputer", MQ_ERROR_ILLEGAL_QUEUE_PATHNAME},
      {u".\\PRIVATE$\\", MQ_ERROR_ILLEGAL_QUEUE_PATHNAME},
      {u"\\PRIVATE$\\Name", MQ_ERROR_ILLEGAL_QUEUE_PATHNAME},
      {u".\\SECRET$\\Name", MQ_ERROR_ILLEGAL_QUEUE_PATHNAME},
      {u".\\PRIVATE$\\a\\b", MQ_ERROR_ILLEGAL_QUEUE_PATHNAME},
      {u".\\PublicQueue", MQ_ERROR_NO_DS},
      {u"faraway\\PRIVATE$\\Name", MQ_ERROR_UNSUPPORTED_OPERATION},
  };
  for (const auto& [path, expected] : paths) {
    WideString format_name;
    EXPECT_EQ(CreateQueue(path, &format_name), expected) << winport::WideToUtf8(path);
    WCHAR buffer[260];
    DWORD length = 260;
    EXPECT_EQ(MQPathNameToFormatName(path, buffer, &length), expected);
  }
  WideString format_name;
  EXPECT_EQ(CreateQueue(u".\\PRIVATE$\\" + WideString(MQ_MAX_Q_NAME_LEN + 1, u'n'), &format_name),
            MQ_ERROR_ILLEGAL_QUEUE_PATHNAME);
  EXPECT_EQ(CreateQueue(u".\\PRIVATE$\\Q", &format_name, WideString(MQ_MAX_Q_LABEL_LEN + 1, u'l')),
            MQ_ERROR_ILLEGAL_PROPERTY_VALUE);

  WCHAR buffer[260];
  DWORD length = 260;
  EXPECT_EQ(MQCreateQueue(nullptr, nullptr, buffer, &length), MQ_ERROR_ILLEGAL_MQQUEUEPROPS);
  QUEUEPROPID ids[2] = {PROPID_Q_LABEL, PROPID_Q_TRANSACTION};
  MQPROPVARIANT values[2] = {};
  values[0].vt = VT_LPWSTR;
  values[0].pwszVal = g_label;
  Byte(1)(values[1]);
  HRESULT status[2] = {};
  MQQUEUEPROPS no_path{2, ids, values, status};
  EXPECT_EQ(MQCreateQueue(nullptr, &no_path, buffer, &length), MQ_ERROR_INSUFFICIENT_PROPERTIES);
  EXPECT_EQ(status[1], MQ_INFORMATION_PROPERTY_IGNORED);
  MQQUEUEPROPS no_arrays{2, nullptr, nullptr, nullptr};
  EXPECT_EQ(MQCreateQueue(nullptr, &no_arrays, buffer, &length), MQ_ERROR_ILLEGAL_MQQUEUEPROPS);
  EXPECT_EQ(MQPathNameToFormatName(nullptr, buffer, &length), MQ_ERROR_ILLEGAL_QUEUE_PATHNAME);
  EXPECT_EQ(MQPathNameToFormatName(u".\\PRIVATE$\\TestQueue", buffer, nullptr),
            MQ_ERROR_INVALID_PARAMETER);
}

TEST_F(BadInputTest, HandlesThatAreNotOpenOrNotForThat) {
  QUEUEHANDLE closed = OpenQueue(format_name_, MQ_SEND_ACCESS);
  ASSERT_EQ(MQCloseQueue(closed), MQ_OK);
  std::string body;
  for (QUEUEHANDLE handle :
       {static_cast<QUEUEHANDLE>(nullptr), closed, reinterpret_cast<QUEUEHANDLE>(0xDEAD)}) {
    EXPECT_EQ(Send(handle, "x"), MQ_ERROR_INVALID_HANDLE);
    EXPECT_EQ(Receive(handle, &body), MQ_ERROR_INVALID_HANDLE);
    EXPECT_EQ(MQCloseQueue(handle), MQ_ERROR_INVALID_HANDLE);
  }
  EXPECT_EQ(Send(receiver_, "x"), MQ_ERROR_ACCESS_DENIED);
  EXPECT_EQ(Receive(sender_, &body), MQ_ERROR_ACCESS_DENIED);
  EXPECT_EQ(MQSendMessage(sender_, nullptr, nullptr), MQ_ERROR_INVALID_PARAMETER);
  MQMSGPROPS empty{0, nullptr, nullptr, nullptr};
  EXPECT_EQ(MQSendMessage(sender_, &empty, MQ_SINGLE_MESSAGE), MQ_ERROR_TRANSACTION_USAGE);
  EXPECT_EQ(MQReceiveMessage(receiver_, 0, 0x1234, nullptr, nullptr, nullptr, nullptr, nullptr),
            MQ_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(MQReceiveMessage(receiver_, 0, MQ_ACTION_RECEIVE, nullptr, nullptr, nullptr,
                             reinterpret_cast<HANDLE>(1), nullptr),
            MQ_ERROR_INVALID_HANDLE);
}

TEST_F(BadInputTest, ManagementOfOtherObjectsAndComputers) {
  MGMTPROPID ids[1] = {PROPID_MGMT_QUEUE_MESSAGE_COUNT};
  MQPROPVARIANT values[1] = {};
  values[0].vt = VT_NULL;
  MQMGMTPROPS properties{1, ids, values, nullptr};
  const WideString object = u"QUEUE=" + format_name_;
  EXPECT_EQ(MQMgmtGetInfo(u"faraway", object.c_str(), &properties), MQ_ERROR_UNSUPPORTED_OPERATION);
  EXPECT_EQ(MQMgmtGetInfo(nullptr, u"MACHINE", &properties), MQ_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(MQMgmtGetInfo(nullptr, u"QUEUE=junk", &properties), MQ_ERROR_ILLEGAL_FORMATNAME);
  EXPECT_EQ(MQMgmtGetInfo(nullptr, nullptr, &properties), MQ_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(MQMgmtGetInfo(nullptr, object.c_str(), nullptr), MQ_ERROR_INVALID_PARAMETER);
  values[0].vt = VT_UI4;
  EXPECT_EQ(MQMgmtGetInfo(nullptr, object.c_str(), &properties), MQ_ERROR_ILLEGAL_PROPERTY_VT);
  ids[0] = 999;
  values[0].vt = VT_NULL;
  EXPECT_EQ(MQMgmtGetInfo(nullptr, object.c_str(), &properties), MQ_ERROR_ILLEGAL_PROPID);
}

TEST_F(BadInputTest, InjectedFailuresAnswerForTheFunction) {
  const std::pair<const char*, std::function<HRESULT()>> calls[] = {
      {"MQCreateQueue",
       [] {
         WideString format_name;
         return CreateQueue(u".\\PRIVATE$\\Other", &format_name);
       }},
      {"MQPathNameToFormatName",
       [] {
         WCHAR buffer[260];
         DWORD length = 260;
         return MQPathNameToFormatName(u".\\PRIVATE$\\TestQueue", buffer, &length);
       }},
      {"MQOpenQueue",
       [this] {
         QUEUEHANDLE queue = nullptr;
         return MQOpenQueue(format_name_.c_str(), MQ_SEND_ACCESS, MQ_DENY_NONE, &queue);
       }},
      {"MQMgmtGetInfo",
       [this] {
         ULONG count = 0;
         return CountMessages(format_name_, &count);
       }},
      {"MQSendMessage", [this] { return Send(sender_, "x"); }},
      {"MQReceiveMessage",
       [this] {
         std::string body;
         return Receive(receiver_, &body);
       }},
  };
  for (const auto& [function, call] : calls) {
    winport::fault::FailCall(function, E_OUTOFMEMORY);
    EXPECT_EQ(call(), E_OUTOFMEMORY) << function;
  }
  ULONG count = 99;
  ASSERT_EQ(CountMessages(format_name_, &count), MQ_OK);
  EXPECT_EQ(count, 0u);
}

}  // namespace
}  // namespace msmq_tests
