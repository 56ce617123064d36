// The host calls the module, and the module the host's components, through vtable slots:
// an operation in the wrong place calls the wrong function. Positions count the three
// IUnknown operations as 0 to 2.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "quillmere/repository.h"
#include "quillmere/session_manager.h"
#include "quillmere/soap_host.h"
#include "quillmere/soap_object_interfaces.h"

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

#define SLOT(operation, expected) \
  { #operation, SlotOf(&operation), expected }

TEST(InterfaceLayout, OperationsSitInTheSlotsTheHostUses) {
  const std::tuple<const char*, std::size_t, std::size_t> slots[] = {
      SLOT(_ISoapObject::Init, 3),
      SLOT(_ISoapObject::SetStop, 4),
      SLOT(_ISoapObject::Execute, 5),
      SLOT(ISetting::Modify, 3),
      SLOT(ISessionManagerReconnect::Reconnect, 3),
      SLOT(ISessionManagerReconnect::PhantomReconnect, 5),
      SLOT(ISessionManagerEnumeration::EnumSessions, 3),
      SLOT(ISessionEnumerator::Next, 3),
      SLOT(ISession::GetSessionText, 4),
      SLOT(ISession::IsAdmin, 10),
      SLOT(IUserAdministration::GetUserPermissions, 3),
      SLOT(IUserAdministration::GetUserList, 6),
      SLOT(ISessionRecord::GetIdentityToken, 5),
      SLOT(ISessionRecord::GetXml, 10),
      SLOT(ISessionRecord::GetGroups, 12),
      SLOT(IRepository::GetSessionView, 7),
      SLOT(IRepositoryView::ReadDocument, 27),
  };
  for (const auto& [operation, actual, expected] : slots)
    EXPECT_EQ(actual, expected) << operation;
}

}  // namespace
