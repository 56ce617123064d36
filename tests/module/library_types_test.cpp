// The types of the module's type library as a client lists them by index: both classes,
// the fault codes and the interfaces, whether the library is embedded in the module or
// described beside it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include <winport/windows.h>

#include "wide_matchers.h"

namespace {

using testing_support::Narrow;

TEST(TypeLibrary, ListsTheClassesTheFaultCodesAndTheInterfaces) {
  winport::ComPtr<ITypeLib> library;
  ASSERT_EQ(LoadTypeLibEx(winport::Utf8ToWide(QUILLMERE_ADMIN_FILE).c_str(), REGKIND_NONE,
                          library.GetAddressOf()),
            S_OK);
  std::vector<std::string> types;  // "kind name help"
  for (UINT index = 0; index < library->GetTypeInfoCount(); ++index) {
    TYPEKIND kind = TKIND_MAX;
    winport::ScopedBstr name;
    winport::ScopedBstr help;
    ASSERT_EQ(library->GetTypeInfoType(index, &kind), S_OK);
    ASSERT_EQ(library->GetDocumentation(static_cast<INT>(index), name.Receive(), help.Receive(),
                                        nullptr, nullptr),
              S_OK);
    types.push_back(std::to_string(kind) + " " + Narrow(name.Get()) + " " + Narrow(help.Get()));
  }
  std::sort(types.begin(), types.end());
  EXPECT_EQ(types, (std::vector<std::string>{
                       "0 FaultCode ", "3 IAdminister ", "3 ISOAPFault ", "3 ISOAPMessage ",
                       "3 ISetting ", "3 ISoapService ", "3 IWbemProvider ", "3 _ISoapObject ",
                       "5 Administer Administer Class", "5 WbemProvider WbemProvider Class"}));
}

}  // namespace
