// Compiling MOF text into the repository and reading the result back through the WMI
// client API, as the operator's mof command and the module's settings code do.
#include <gtest/gtest.h>

#include <string>

#include <winport/scoped_bstr.h>
#include <winport/scoped_safe_array.h>
#include <winport/scoped_variant.h>
#include <winport/windows.h>

#include "mof_compiler_fixture.h"
#include "wide_matchers.h"
#include "wmi_client.h"

namespace {

using testing_support::NarrowBstr;
using winport::ComPtr;
using winport::ScopedBstr;
using winport::ScopedVariant;
using wmi_tests::GetObject;

using mof_tests::kStorePhase;

constexpr char kSettingsMof[] = R"(// The module's settings.
#pragma namespace("\\\\.\\root\\cimv2")
instance of __Namespace { Name = "quillmere"; };

#pragma namespace("quillmere")
[Description("A setting of the module")]
class Q_Setting
{
  [Key] string Name;
  sint32 Level = 2;
  string Text;
  uint64 Big;
  real64 Ratio;
  boolean Enabled = TRUE;
  string Tags[];
};

instance of Q_Setting { Name = "first"; Text = "one"; };
instance of Q_Setting as $Second
{
  Name = "second";
  Level = -5;
  Tags = {"a", "b"};
};
instance of Q_Setting { Name = "third"; Big = 18446744073709551615; Ratio = 0.5; Enabled = false; };
)";

class MofCompileStoreTest : public mof_tests::MofCompilerFixture {
 protected:
  static ComPtr<IWbemServices> Open(const OLECHAR* path) {
    ComPtr<IWbemServices> services;
    EXPECT_EQ(wmi_tests::Connect(wmi_tests::Locator().Get(), path, &services), S_OK);
    return services;
  }

  static ScopedVariant Property(IWbemClassObject* object, const OLECHAR* name) {
    ScopedVariant value;
    EXPECT_EQ(object->Get(name, 0, value.Receive(), nullptr, nullptr), S_OK);
    return value;
  }
};

TEST_F(MofCompileStoreTest, StoresAClassAndItsInstances) {
  ASSERT_EQ(Compile(kSettingsMof), S_OK);
  ExpectStatus(0, S_OK, 0, 0, 0);

  ComPtr<IWbemServices> services = Open(u"root\\cimv2\\quillmere");
  ASSERT_TRUE(services);
  ComPtr<IWbemClassObject> object;
  ASSERT_EQ(GetObject(services.Get(), u"Q_Setting.Name=\"first\"", &object), S_OK);
  EXPECT_EQ(NarrowBstr(Property(object.Get(), u"Text").Get().bstrVal), "one");
  const ScopedVariant level = Property(object.Get(), u"Level");  // the class default
  ASSERT_EQ(level.Type(), VT_I4);
  EXPECT_EQ(level.Get().lVal, 2);
  EXPECT_EQ(Property(object.Get(), u"Big").Type(), VT_NULL);

  ASSERT_EQ(GetObject(services.Get(), u"Q_Setting=\"second\"", &object), S_OK);
  EXPECT_EQ(Property(object.Get(), u"Level").Get().lVal, -5);
  const ScopedVariant tags = Property(object.Get(), u"Tags");
  ASSERT_EQ(tags.Type(), VT_ARRAY | VT_BSTR);
  winport::ScopedSafeArray array;
  ASSERT_EQ(SafeArrayCopy(tags.Get().parray, array.Receive()), S_OK);
  auto lock = array.CreateLockScope<BSTR>(VT_BSTR);
  ASSERT_TRUE(lock.has_value());
  ASSERT_EQ(lock->size(), 2u);
  EXPECT_EQ(NarrowBstr((*lock)[1]), "b");

  ASSERT_EQ(GetObject(services.Get(), u"Q_Setting.Name=\"third\"", &object), S_OK);
  EXPECT_EQ(NarrowBstr(Property(object.Get(), u"Big").Get().bstrVal), "18446744073709551615");
  EXPECT_DOUBLE_EQ(Property(object.Get(), u"Ratio").Get().dblVal, 0.5);
  EXPECT_EQ(Property(object.Get(), u"Enabled").Get().boolVal, VARIANT_FALSE);

  ComPtr<IWbemQualifierSet> qualifiers;
  ASSERT_EQ(GetObject(services.Get(), u"Q_Setting", &object), S_OK);
  ASSERT_EQ(object->GetQualifierSet(qualifiers.GetAddressOf()), S_OK);
  ScopedVariant description;
  ASSERT_EQ(qualifiers->Get(u"Description", 0, description.Receive(), nullptr), S_OK);
  EXPECT_EQ(NarrowBstr(description.Get().bstrVal), "A setting of the module");
}

// Nothing is stored from a text that does not parse, not even what comes before the error.
TEST_F(MofCompileStoreTest, SyntaxErrorLeavesTheRepositoryAsItWas) {
  ASSERT_EQ(Compile(kSettingsMof), S_OK);
  const std::string broken = R"(#pragma namespace("\\\\.\\root\\cimv2\\quillmere")
instance of Q_Setting { Name = "fourth"; };
class Q_Other { string Name; };
instance of Q_Setting { Name = "fifth" Level = 3; };
)";
  EXPECT_EQ(Compile(broken), WBEM_S_FALSE);
  EXPECT_EQ(status_.lPhaseError, 1);
  EXPECT_EQ(status_.FirstLine, 4);

  ComPtr<IWbemServices> services = Open(u"root\\cimv2\\quillmere");
  ASSERT_TRUE(services);
  ComPtr<IWbemClassObject> object;
  EXPECT_EQ(static_cast<uint32_t>(GetObject(services.Get(), u"Q_Setting=\"fourth\"", &object)),
            static_cast<uint32_t>(WBEM_E_NOT_FOUND));
  EXPECT_EQ(static_cast<uint32_t>(GetObject(services.Get(), u"Q_Other", &object)),
            static_cast<uint32_t>(WBEM_E_NOT_FOUND));
  EXPECT_EQ(GetObject(services.Get(), u"Q_Setting=\"first\"", &object), S_OK);
}

struct StoreFailureCase {
  const char* text;
  uint32_t code;
  LONG object;
  LONG first_line;
  LONG last_line;
};

class MofStoreFailures : public MofCompileStoreTest,
                         public testing::WithParamInterface<StoreFailureCase> {};

// The objects before the failing one stay stored; the status names the failing one.
TEST_P(MofStoreFailures, NameTheObjectThatFailed) {
  const StoreFailureCase& c = GetParam();
  const std::string text = std::string("class Q_Base { [Key] string Name; sint32 Level; };\n") +
                           "instance of Q_Base { Name = \"kept\"; };\n" + c.text;
  EXPECT_EQ(Compile(text, u"root\\cimv2"), WBEM_S_FALSE);
  ExpectStatus(kStorePhase, static_cast<HRESULT>(c.code), c.object, c.first_line, c.last_line);
  ComPtr<IWbemClassObject> kept;
  EXPECT_EQ(GetObject(Open(u"root\\cimv2").Get(), u"Q_Base=\"kept\"", &kept), S_OK);
}

INSTANTIATE_TEST_SUITE_P(
    Table, MofStoreFailures,
    testing::Values(
        StoreFailureCase{"instance of Q_Missing\n{\n  Name = \"x\";\n};\n", WBEM_E_INVALID_CLASS, 3,
                         3, 6},
        StoreFailureCase{"class Q_Child : Q_Missing { string Extra; };\n",
                         WBEM_E_INVALID_SUPERCLASS, 3, 3, 3},
        StoreFailureCase{"instance of Q_Base { Name = \"y\"; Level = \"high\"; };\n",
                         WBEMMOF_E_TYPE_MISMATCH, 3, 3, 3},
        StoreFailureCase{"instance of Q_Base { Name = \"y\"; Level = 4294967296; };\n",
                         WBEMMOF_E_OUT_OF_RANGE, 3, 3, 3},
        StoreFailureCase{"instance of Q_Base { Name = \"y\"; Missing = 1; };\n", WBEM_E_NOT_FOUND,
                         3, 3, 3},
        StoreFailureCase{"instance of Q_Base { Level = 1; };\n", WBEM_E_ILLEGAL_NULL, 3, 3, 3},
        StoreFailureCase{"#pragma namespace(\"nowhere\")\nclass Q_Lost { string A; };\n",
                         WBEM_E_INVALID_NAMESPACE, 3, 4, 4}));

// Relative pragmas name children of the namespace in force; a derived class inherits the
// key and adds its own properties.
TEST_F(MofCompileStoreTest, StoresDerivedClassesInRelativeNamespaces) {
  const std::string text = R"(
instance of __Namespace { Name = "quillmere"; };
#pragma namespace("quillmere")
class Q_Base { [Key] string Name; };
class Q_Child : Q_Base { uint8 Size = 7; };
instance of Q_Child { Name = "child"; };
)";
  ASSERT_EQ(Compile(text, u"\\\\.\\root\\cimv2"), S_OK);
  ComPtr<IWbemServices> services = Open(u"root\\cimv2\\quillmere");
  ASSERT_TRUE(services);
  ComPtr<IWbemClassObject> child;
  ASSERT_EQ(GetObject(services.Get(), u"Q_Child.Name=\"child\"", &child), S_OK);
  EXPECT_EQ(NarrowBstr(Property(child.Get(), u"__SUPERCLASS").Get().bstrVal), "Q_Base");
  EXPECT_EQ(Property(child.Get(), u"Size").Get().bVal, 7);
}

// What GetObjectText gives back compiles again: an array qualifier's values in braces
// alone, 64-bit integers (held as text) as numbers, control characters escaped, a char16
// as its unit's number.
TEST_F(MofCompileStoreTest, ObjectTextOfStoredObjectsCompilesAgain) {
  ASSERT_EQ(Compile(R"(class Q_Wide { [Key, Values{"one", "two"}] uint16 Id;
sint64 Low = -9223372036854775808; uint64 Counts[]; string Text = "a\nb\tc\x01F";
char16 Mark = '\xFFFD'; };
instance of Q_Wide { Id = 1; Counts = {18446744073709551615, 2}; };)",
                    u"root\\cimv2"),
            S_OK);
  ComPtr<IWbemServices> services = Open(u"root\\cimv2");
  ASSERT_TRUE(services);
  const struct {
    const OLECHAR* path;
    const char* text;
  } objects[] = {
      {u"Q_Wide",
       "\nclass Q_Wide\n{\n\t[Key, Values{\"one\", \"two\"}] uint16 Id;\n"
       "\tsint64 Low = -9223372036854775808;\n\tuint64 Counts[];\n"
       "\tstring Text = \"a\\nb\\tc\\x001F\";\n\tchar16 Mark = 65533;\n};\n"},
      {u"Q_Wide.Id=1",
       "\ninstance of Q_Wide\n{\n\tId = 1;\n\tLow = -9223372036854775808;\n"
       "\tCounts = {18446744073709551615, 2};\n\tText = \"a\\nb\\tc\\x001F\";\n"
       "\tMark = 65533;\n};\n"},
  };
  for (const auto& object : objects) {
    ComPtr<IWbemClassObject> stored;
    ASSERT_EQ(GetObject(services.Get(), object.path, &stored), S_OK);
    ScopedBstr text;
    ASSERT_EQ(stored->GetObjectText(0, text.Receive()), S_OK);
    EXPECT_EQ(NarrowBstr(text.Get()), object.text);
    EXPECT_EQ(Compile(NarrowBstr(text.Get()), nullptr, WBEM_FLAG_CHECK_ONLY), S_OK) << object.text;
  }
}

TEST_F(MofCompileStoreTest, InstanceFlagsReachPutInstance) {
  const std::string text =
      "class Q_Base { [Key] string Name; };\ninstance of Q_Base { Name = \"once\"; };\n";
  ASSERT_EQ(Compile(text, u"root\\cimv2", 0, WBEM_FLAG_CREATE_ONLY), S_OK);
  EXPECT_EQ(Compile(text, u"root\\cimv2", 0, WBEM_FLAG_CREATE_ONLY), WBEM_S_FALSE);
  ExpectStatus(kStorePhase, WBEM_E_ALREADY_EXISTS, 2, 2, 2);
  EXPECT_EQ(Compile(text, u"root\\cimv2"), S_OK);
}

}  // namespace
