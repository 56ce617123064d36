// Bad input answers its own code, and leaves no message behind.
#include <gtest/gtest.h>

#include "msmq_test_support.h"

namespace msmq_tests {
namespace {

using BadInputTest = OpenedQueue;

enum Call { kSend, kReceive, kManage };

struct PropertyCase {
  Call call;
  PROPID id;
  MQPROPVARIANT value;
  HRESULT status;
};

// Each property alone is wrong: a send carries a good body besides.
TEST_F(BadInputTest, PropertiesEachWithTheirStatus) {
  const WideString long_label(MQ_MAX_MSG_LABEL_LEN + 1, u'L');
  WCHAR label[64];
  const PropertyCase cases[] = {
      {kSend, PROPID_M_BODY, Variant(VT_LPWSTR), MQ_ERROR_ILLEGAL_PROPERTY_VT},
      {kSend, PROPID_M_BODY, Bytes(nullptr, 4), MQ_ERROR_ILLEGAL_PROPERTY_VALUE},
      {kSend, PROPID_M_PRIORITY, Variant(VT_UI1, 8), MQ_ERROR_ILLEGAL_PROPERTY_VALUE},
      {kSend, PROPID_M_PRIORITY, Variant(VT_UI4), MQ_ERROR_ILLEGAL_PROPERTY_VT},
      {kSend, PROPID_M_DELIVERY, Variant(VT_UI1, 2), MQ_ERROR_ILLEGAL_PROPERTY_VALUE},
      {kSend, PROPID_M_LABEL, Text(nullptr), MQ_ERROR_ILLEGAL_PROPERTY_VALUE},
      {kSend, PROPID_M_LABEL, Text(long_label.c_str()), MQ_ERROR_LABEL_TOO_LONG},
      {kSend, PROPID_M_BODY_TYPE, Variant(VT_UI1, 1), MQ_ERROR_ILLEGAL_PROPERTY_VT},
      {kSend, 9999, Variant(VT_UI1, 1), MQ_ERROR_ILLEGAL_PROPID},
      {kReceive, PROPID_M_BODY, Variant(VT_UI4), MQ_ERROR_ILLEGAL_PROPERTY_VT},
      {kReceive, PROPID_M_BODY_SIZE, Variant(VT_UI1), MQ_ERROR_ILLEGAL_PROPERTY_VT},
      {kReceive, PROPID_M_LABEL, Text(label), MQ_ERROR_INSUFFICIENT_PROPERTIES},
      {kReceive, 12345, Variant(VT_NULL), MQ_ERROR_ILLEGAL_PROPID},
      {kManage, PROPID_MGMT_QUEUE_MESSAGE_COUNT, Variant(VT_UI4), MQ_ERROR_ILLEGAL_PROPERTY_VT},
      {kManage, 999, Variant(VT_NULL), MQ_ERROR_ILLEGAL_PROPID},
  };
  ASSERT_EQ(Send(sender_, "stays"), MQ_OK);
  const WideString queue = u"QUEUE=" + format_name_;
  for (const PropertyCase& test : cases) {
    PROPID ids[2] = {PROPID_M_BODY, test.id};
    MQPROPVARIANT values[2] = {Bytes("body", 4), test.value};
    HRESULT status[2] = {};
    const int alone = test.call != kSend || test.id == PROPID_M_BODY ? 1 : 0;
    MQMSGPROPS properties{2u - alone, ids + alone, values + alone, status + alone};
    MQMGMTPROPS management{1, ids + 1, values + 1, status + 1};
    const HRESULT answered = test.call == kSend ? MQSendMessage(sender_, &properties, nullptr)
                             : test.call == kReceive
                                 ? MQReceiveMessage(receiver_, 0, MQ_ACTION_RECEIVE, &properties,
                                                    nullptr, nullptr, nullptr, nullptr)
                                 : MQMgmtGetInfo(nullptr, queue.c_str(), &management);
    EXPECT_EQ(answered, test.status) << test.call << " " << test.id;
    EXPECT_EQ(test.call == kSend ? status[1] : test.status, test.status) << test.id;
  }
  EXPECT_EQ(Count(format_name_), 1u);
  std::string body;
  ASSERT_EQ(Receive(receiver_, &body), MQ_OK);
  EXPECT_EQ(body, "stays");
}

TEST_F(BadInputTest, FormatNamesAndAccessModes) {
  const std::pair<const char16_t*, HRESULT> cases[] = {
      {u"", MQ_ERROR_ILLEGAL_FORMATNAME},
      {u"WSQueue", MQ_ERROR_ILLEGAL_FORMATNAME},
      {u"PRIVATE=not-a-guid\\00000001", MQ_ERROR_ILLEGAL_FORMATNAME},
      {u"PRIVATE=01234567-89ab-cdef-0123-456789abcdef\\123456789", MQ_ERROR_ILLEGAL_FORMATNAME},
      {u"PRIVATE=01234567-89ab-cdef-0123-456789abcdef\\1", MQ_ERROR_QUEUE_NOT_FOUND},
      {u"DIRECT=OS:.\\PUBLIC$\\TestQueue", MQ_ERROR_ILLEGAL_FORMATNAME},
      {u"DIRECT=OS:.\\PRIVATE$\\TestQueue\\more", MQ_ERROR_ILLEGAL_FORMATNAME},
      {u"DIRECT=OS:.\\PRIVATE$\\Missing", MQ_ERROR_QUEUE_NOT_FOUND},
      {u"DIRECT=HTTP://host/msmq/private$/q", MQ_ERROR_ILLEGAL_FORMATNAME},
  };
  for (const auto& [format_name, expected] : cases) {
    QUEUEHANDLE queue = reinterpret_cast<QUEUEHANDLE>(1);
    EXPECT_EQ(MQOpenQueue(format_name, MQ_SEND_ACCESS, MQ_DENY_NONE, &queue), expected)
        << winport::WideToUtf8(format_name);
    EXPECT_EQ(queue, nullptr);
  }
  const std::tuple<DWORD, DWORD, HRESULT> modes[] = {
      {0, MQ_DENY_NONE, MQ_ERROR_UNSUPPORTED_ACCESS_MODE},
      {MQ_SEND_ACCESS | MQ_RECEIVE_ACCESS, MQ_DENY_NONE, MQ_ERROR_UNSUPPORTED_ACCESS_MODE},
      {MQ_SEND_ACCESS, MQ_DENY_RECEIVE_SHARE, MQ_ERROR_UNSUPPORTED_ACCESS_MODE},
      {MQ_ADMIN_ACCESS, MQ_DENY_NONE, MQ_ERROR_UNSUPPORTED_ACCESS_MODE},
      {MQ_RECEIVE_ACCESS, 7, MQ_ERROR_INVALID_PARAMETER},
  };
  QUEUEHANDLE queue = nullptr;
  for (const auto& [access, share, expected] : modes)
    EXPECT_EQ(MQOpenQueue(format_name_.c_str(), access, share, &queue), expected) << access;
  EXPECT_EQ(MQOpenQueue(nullptr, MQ_SEND_ACCESS, MQ_DENY_NONE, &queue),
            MQ_ERROR_ILLEGAL_FORMATNAME);
  EXPECT_EQ(MQOpenQueue(format_name_.c_str(), MQ_SEND_ACCESS, MQ_DENY_NONE, nullptr),
            MQ_ERROR_INVALID_PARAMETER);
}

TEST_F(BadInputTest, PathNamesAndQueueProperties) {
  const WideString long_name = u".\\PRIVATE$\\" + WideString(MQ_MAX_Q_NAME_LEN + 1, u'n');
  const std::pair<WideString, HRESULT> paths[] = {
      {u"", MQ_ERROR_ILLEGAL_QUEUE_PATHNAME},
      {u"NoComputer", MQ_ERROR_ILLEGAL_QUEUE_PATHNAME},
      {u".\\PRIVATE$\\", MQ_ERROR_ILLEGAL_QUEUE_PATHNAME},
      {u".\\SECRET$\\Name", MQ_ERROR_ILLEGAL_QUEUE_PATHNAME},
      {u".\\PRIVATE$\\a\\b", MQ_ERROR_ILLEGAL_QUEUE_PATHNAME},
      {long_name, MQ_ERROR_ILLEGAL_QUEUE_PATHNAME},
      {u".\\PublicQueue", MQ_ERROR_NO_DS},
  };
  WideString format_name;
  for (const auto& [path, expected] : paths) {
    EXPECT_EQ(CreateQueue(path), expected) << winport::WideToUtf8(path);
    EXPECT_EQ(FormatName(path, &format_name), expected) << winport::WideToUtf8(path);
  }
  EXPECT_EQ(CreateQueue(u".\\PRIVATE$\\Q", nullptr, WideString(MQ_MAX_Q_LABEL_LEN + 1, u'l')),
            MQ_ERROR_ILLEGAL_PROPERTY_VALUE);

  WCHAR buffer[260];
  DWORD length = 260;
  EXPECT_EQ(MQCreateQueue(nullptr, nullptr, buffer, &length), MQ_ERROR_ILLEGAL_MQQUEUEPROPS);
  QUEUEPROPID ids[2] = {PROPID_Q_LABEL, PROPID_Q_TRANSACTION};
  MQPROPVARIANT values[2] = {Text(u"label"), Variant(VT_UI1, 1)};
  HRESULT status[2] = {};
  MQQUEUEPROPS no_path{2, ids, values, status};
  EXPECT_EQ(MQCreateQueue(nullptr, &no_path, buffer, &length), MQ_ERROR_INSUFFICIENT_PROPERTIES);
  EXPECT_EQ(status[1], MQ_INFORMATION_PROPERTY_IGNORED);
  EXPECT_EQ(MQPathNameToFormatName(nullptr, buffer, &length), MQ_ERROR_ILLEGAL_QUEUE_PATHNAME);
  EXPECT_EQ(MQPathNameToFormatName(u".\\PRIVATE$\\TestQueue", buffer, nullptr),
            MQ_ERROR_INVALID_PARAMETER);
}

TEST_F(BadInputTest, HandlesAndObjectsThatAreNotThere) {
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
  EXPECT_EQ(Receive(receiver_, &body, 0, MQ_ACTION_PEEK_NEXT), MQ_ERROR_ILLEGAL_CURSOR_ACTION);
  EXPECT_EQ(MQReceiveMessage(receiver_, 0, MQ_ACTION_RECEIVE, nullptr, nullptr, nullptr,
                             reinterpret_cast<HANDLE>(1), nullptr),
            MQ_ERROR_INVALID_HANDLE);

  const WideString queue = u"QUEUE=" + format_name_;
  MGMTPROPID ids[1] = {PROPID_MGMT_QUEUE_MESSAGE_COUNT};
  MQPROPVARIANT values[1] = {Variant(VT_NULL)};
  MQMGMTPROPS count{1, ids, values, nullptr};
  EXPECT_EQ(MQMgmtGetInfo(u"faraway", queue.c_str(), &count), MQ_ERROR_UNSUPPORTED_OPERATION);
  EXPECT_EQ(MQMgmtGetInfo(nullptr, u"MACHINE", &count), MQ_ERROR_ILLEGAL_PROPID);
  EXPECT_EQ(MQMgmtGetInfo(nullptr, nullptr, &count), MQ_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(MQMgmtGetInfo(nullptr, queue.c_str(), nullptr), MQ_ERROR_INVALID_PARAMETER);
}

}  // namespace
}  // namespace msmq_tests
