// The type library embedded in the Windows module, read back through OLE Automation and
// compared with the ids the code publishes: the .idl cannot drift from module_ids.h.
#include <gtest/gtest.h>

#include <string>

#include <winport/windows.h>

#include "module/module_ids.h"
#include "quillmere/soap_object_interfaces.h"
#include "wide_matchers.h"

namespace {

using testing_support::Narrow;
using winport::ComPtr;

struct Described {
  GUID id;
  const char* name;
  TYPEKIND kind;
};

ComPtr<ITypeLib> EmbeddedLibrary() {
  ComPtr<ITypeLib> library;
  EXPECT_EQ(LoadTypeLibEx(winport::Utf8ToWide(QUILLMERE_ADMIN_FILE).c_str(), REGKIND_NONE,
                          library.GetAddressOf()),
            S_OK);
  return library;
}

TEST(TypeLibrary, IsTheModulesLibraryIdAndVersion) {
  ComPtr<ITypeLib> library = EmbeddedLibrary();
  ASSERT_TRUE(library);
  TLIBATTR* attributes = nullptr;
  ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
  EXPECT_TRUE(IsEqualGUID(attributes->guid, quillmere::kModuleTypeLibraryId));
  EXPECT_EQ(attributes->wMajorVerNum, quillmere::kModuleTypeLibraryMajor);
  EXPECT_EQ(attributes->wMinorVerNum, quillmere::kModuleTypeLibraryMinor);
  library->ReleaseTLibAttr(attributes);
}

TEST(TypeLibrary, DescribesEveryPublishedIdUnderItsName) {
  ComPtr<ITypeLib> library = EmbeddedLibrary();
  ASSERT_TRUE(library);
  const Described described[] = {
      {__uuidof(quillmere::IAdminister), "IAdminister", TKIND_INTERFACE},
      {__uuidof(quillmere::IWbemProvider), "IWbemProvider", TKIND_INTERFACE},
      {__uuidof(quillmere::_ISoapObject), "_ISoapObject", TKIND_INTERFACE},
      {__uuidof(quillmere::ISetting), "ISetting", TKIND_INTERFACE},
      {__uuidof(quillmere::ISoapService), "ISoapService", TKIND_INTERFACE},
      {__uuidof(quillmere::ISOAPMessage), "ISOAPMessage", TKIND_INTERFACE},
      {__uuidof(quillmere::ISOAPFault), "ISOAPFault", TKIND_INTERFACE},
      {__uuidof(quillmere::FaultCode), "FaultCode", TKIND_ENUM},
      {__uuidof(quillmere::Administer), "Administer", TKIND_COCLASS},
      {__uuidof(quillmere::WbemProvider), "WbemProvider", TKIND_COCLASS},
  };
  for (const Described& expected : described) {
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(library->GetTypeInfoOfGuid(expected.id, info.GetAddressOf()), S_OK) << expected.name;
    winport::ScopedBstr name;
    ASSERT_EQ(info->GetDocumentation(MEMBERID_NIL, name.Receive(), nullptr, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(Narrow(name.Get()), expected.name);
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->typekind, expected.kind) << expected.name;
    info->ReleaseTypeAttr(attributes);
  }
  EXPECT_EQ(library->GetTypeInfoCount(), std::size(described));
}

}  // namespace
