// The host calls the module, and the module the host's components, through vtable slots:
// an operation in the wrong place calls the wrong function. Positions count the three
// IUnknown operations as 0 to 2.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "soap/job_source.h"
#include "soap/session_manager.h"
#include "soap/soap_host.h"
#include "soap/soap_object_interfaces.h"

namespace {

using namespace quillmere;

// The slot of a virtual member function: with the Itanium C++ ABI (GCC and Clang, on
// Linux and mingw-w64 alike) its member pointer holds one plus the byte offset in the
// vtable.
template <class Member>
std::size_t SlotOf(Member member) {
  struct {
    std::uintptr_t pointer;
    std::ptrdiff_t adjustment;
  } raw;
  static_assert(sizeof(member) == sizeof(raw));
  std::memcpy(&raw, &member, sizeof raw);
  EXPECT_EQ(raw.pointer % sizeof(void*), 1u) << "not a virtual member";
  return (raw.pointer - 1) / sizeof(void*);
}

struct Slot {
  const char* operation;
  std::size_t actual;
  std::size_t expected;
};

TEST(InterfaceLayout, OperationsSitInTheSlotsTheHostUses) {
  const Slot slots[] = {
      {"_ISoapObject::Init", SlotOf(&_ISoapObject::Init), 3},
      {"_ISoapObject::SetStop", SlotOf(&_ISoapObject::SetStop), 4},
      {"_ISoapObject::Execute", SlotOf(&_ISoapObject::Execute), 5},
      {"ISetting::Modify", SlotOf(&ISetting::Modify), 3},
      {"ISessionManagerReconnect::Reconnect", SlotOf(&ISessionManagerReconnect::Reconnect), 3},
      {"ISessionManagerReconnect::PhantomReconnect",
       SlotOf(&ISessionManagerReconnect::PhantomReconnect), 5},
      {"ISessionManagerEnumeration::EnumSessions",
       SlotOf(&ISessionManagerEnumeration::EnumSessions), 3},
      {"ISessionEnumerator::Next", SlotOf(&ISessionEnumerator::Next), 3},
      {"ISession::GetSessionText", SlotOf(&ISession::GetSessionText), 4},
      {"ISession::IsAdmin", SlotOf(&ISession::IsAdmin), 10},
      {"IUserAdministration::GetUserPermissions", SlotOf(&IUserAdministration::GetUserPermissions),
       3},
      {"IUserAdministration::GetUserList", SlotOf(&IUserAdministration::GetUserList), 6},
      {"ISessionRecord::GetIdentityToken", SlotOf(&ISessionRecord::GetIdentityToken), 5},
      {"ISessionRecord::GetXml", SlotOf(&ISessionRecord::GetXml), 10},
      {"ISessionRecord::GetGroups", SlotOf(&ISessionRecord::GetGroups), 12},
  };
  for (const Slot& slot : slots)
    EXPECT_EQ(slot.actual, slot.expected) << slot.operation;
}

TEST(InterfaceLayout, EveryIdIsDistinct) {
  const GUID ids[] = {
      __uuidof(ISoapService),
      __uuidof(ISOAPMessage),
      __uuidof(ISOAPFault),
      __uuidof(FaultCode),
      __uuidof(SoapMessage),
      __uuidof(_ISoapObject),
      __uuidof(ISetting),
      __uuidof(ISessionManagerReconnect),
      __uuidof(ISessionManagerEnumeration),
      __uuidof(ISessionEnumerator),
      __uuidof(ISession),
      __uuidof(ISessionRecord),
      __uuidof(IUserAdministration),
      __uuidof(IExtensionObject),
      __uuidof(IJobSource),
      __uuidof(IJobEnumerator),
      __uuidof(IJobRecord),
      __uuidof(JobSource),
  };
  for (std::size_t i = 0; i < std::size(ids); ++i) {
    EXPECT_FALSE(IsEqualGUID(ids[i], __uuidof(IUnknown))) << i;
    for (std::size_t j = i + 1; j < std::size(ids); ++j) {
      EXPECT_FALSE(IsEqualGUID(ids[i], ids[j])) << i << " and " << j;
    }
  }
}

}  // namespace
