// Class and instance objects on their own: object paths, names selected by flags,
// qualifier sets, system properties, deletion and the MOF text of an object.
#include <gtest/gtest.h>

#include "wmi/object_path.h"
#include "wmi_client.h"

namespace wmi_tests {
namespace {

TEST(ObjectPath, FormsAndMalformedPaths) {
  const struct {
    const OLECHAR* text;
    HRESULT result;
    const char* keys;  // name=value pairs as parsed
  } cases[] = {
      {OLESTR("Metadata"), S_OK, ""},
      {OLESTR("Metadata=\"ReportingLevel\""), S_OK, "=ReportingLevel;"},
      {OLESTR("Metadata.SettingName=\"a\\\"b\""), S_OK, "SettingName=a\"b;"},
      {OLESTR("Pool=123"), S_OK, "=123;"},
      {OLESTR("\\\\.\\root\\cimv2:Job.Id=3,Host=\"h\""), S_OK, "Id=3;Host=h;"},
      {OLESTR("Job.Path=\"C:\\\\\",Host=\"h:1\""), S_OK, "Path=C:\\;Host=h:1;"},
      {OLESTR("Metadata=\"a\"b\""), Status(WBEM_E_INVALID_OBJECT_PATH), ""},
      {OLESTR("Metadata=\"open"), Status(WBEM_E_INVALID_OBJECT_PATH), ""},
      {OLESTR("Metadata."), Status(WBEM_E_INVALID_OBJECT_PATH), ""},
      {OLESTR("Metadata.=\"x\""), Status(WBEM_E_INVALID_OBJECT_PATH), ""},
      {OLESTR("=\"x\""), Status(WBEM_E_INVALID_OBJECT_PATH), ""},
      {OLESTR("9Class"), Status(WBEM_E_INVALID_OBJECT_PATH), ""},
  };
  for (const auto& c : cases) {
    winport::wmi::ObjectPath path;
    EXPECT_EQ(winport::wmi::ParseObjectPath(c.text, &path), c.result)
        << winport::WideToUtf8(c.text);
    std::string keys;
    for (const auto& [name, value] : path.keys)
      keys += winport::WideToUtf8(name) + "=" + winport::WideToUtf8(value) + ";";
    if (SUCCEEDED(c.result)) {
      EXPECT_EQ(keys, c.keys) << winport::WideToUtf8(c.text);
    }
  }
}

// A class "Base" (key Id, Text = "default") and "Child" : Base adding Extra, unsaved.
class ObjectModel : public testing::Test {
 protected:
  void SetUp() override {
    root_ = ConnectRoot();
    ASSERT_TRUE(root_);
    const ScopedVariant key(static_cast<LONG>(-1));
    base_ = NewClass(root_.Get(), OLESTR("Base"), OLESTR("Id"), CIM_SINT32, key.Get(),
                     WBEM_FLAVOR_FLAG_PROPAGATE_TO_INSTANCE);
    ASSERT_EQ(Put(base_.Get(), OLESTR("Text"), Text(OLESTR("default")), CIM_STRING), S_OK);
    ASSERT_EQ(base_->SpawnDerivedClass(0, child_.GetAddressOf()), S_OK);
    ASSERT_EQ(Put(child_.Get(), OLESTR("__CLASS"), Text(OLESTR("Child"))), S_OK);
    ASSERT_EQ(child_->Put(OLESTR("Extra"), 0, nullptr, CIM_BOOLEAN), S_OK);
  }

  // An instance of `of` whose Id is `id`.
  static ComPtr<IWbemClassObject> Instance(IWbemClassObject* of, LONG id) {
    ComPtr<IWbemClassObject> instance;
    EXPECT_EQ(of->SpawnInstance(0, instance.GetAddressOf()), S_OK);
    EXPECT_EQ(Put(instance.Get(), OLESTR("Id"), ScopedVariant(id)), S_OK);
    return instance;
  }

  static std::string Names(IWbemClassObject* object, LONG flags,
                           const OLECHAR* qualifier = nullptr) {
    winport::ScopedSafeArray names;
    const HRESULT hr = object->GetNames(qualifier, flags, nullptr, names.Receive());
    if (FAILED(hr)) return "error";
    std::string joined;
    LONG upper = -1;
    SafeArrayGetUBound(names.Get(), 1, &upper);
    for (LONG i = 0; i <= upper; ++i) {
      winport::ScopedBstr name;
      SafeArrayGetElement(names.Get(), &i, name.Receive());
      joined += (i ? "," : "") + winport::WideToUtf8(winport::BstrView(name.Get()));
    }
    return joined;
  }

  winport::ScopedComInit com_{COINIT_MULTITHREADED};
  ComPtr<IWbemServices> root_;
  ComPtr<IWbemClassObject> base_;
  ComPtr<IWbemClassObject> child_;
};

TEST_F(ObjectModel, GetNamesSelectsByOriginKeyAndQualifier) {
  ComPtr<IWbemClassObject> instance = Instance(child_.Get(), 1);
  const struct {
    LONG flags;
    const OLECHAR* qualifier;
    const char* names;
  } cases[] = {
      {WBEM_FLAG_NONSYSTEM_ONLY, nullptr, "Id,Text,Extra"},
      {WBEM_FLAG_LOCAL_ONLY, nullptr, "Extra"},
      {WBEM_FLAG_PROPAGATED_ONLY, nullptr, "Id,Text"},
      {WBEM_FLAG_KEYS_ONLY, nullptr, "Id"},
      {WBEM_FLAG_ONLY_IF_TRUE, OLESTR("key"), "Id"},
      {WBEM_FLAG_ONLY_IF_FALSE | WBEM_FLAG_NONSYSTEM_ONLY, OLESTR("Key"), "Text,Extra"},
      {WBEM_FLAG_SYSTEM_ONLY, nullptr,
       "__GENUS,__CLASS,__SUPERCLASS,__DYNASTY,__RELPATH,__PROPERTY_COUNT,__DERIVATION,__SERVER,"
       "__NAMESPACE,__PATH"},
      {WBEM_FLAG_ONLY_IF_TRUE, nullptr, "error"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Names(instance.Get(), c.flags, c.qualifier), c.names) << "flags " << c.flags;
}

TEST_F(ObjectModel, SystemPropertiesDescribeTheObject) {
  ComPtr<IWbemClassObject> instance = Instance(child_.Get(), 42);
  const std::pair<const OLECHAR*, std::string> cases[] = {
      {OLESTR("__CLASS"), "Child"},
      {OLESTR("__SUPERCLASS"), "Base"},
      {OLESTR("__DYNASTY"), "Base"},
      {OLESTR("__GENUS"), "2"},
      {OLESTR("__RELPATH"), "Child.Id=42"},
      {OLESTR("__PROPERTY_COUNT"), "3"},
      {OLESTR("__PATH"), ""},
      {OLESTR("Text"), "default"},
  };
  for (const auto& [name, expected] : cases)
    EXPECT_EQ(PropertyText(instance.Get(), name), expected) << winport::WideToUtf8(name);
  winport::ScopedVariant derivation;
  CIMTYPE type = 0;
  LONG flavor = 0;
  ASSERT_EQ(instance->Get(OLESTR("__DERIVATION"), 0, derivation.Receive(), &type, &flavor), S_OK);
  EXPECT_EQ(derivation.Get().vt, VT_ARRAY | VT_BSTR);
  EXPECT_EQ(type, CIM_STRING | CIM_FLAG_ARRAY);
  EXPECT_EQ(flavor, WBEM_FLAVOR_ORIGIN_SYSTEM);
  EXPECT_EQ(Put(instance.Get(), OLESTR("__PATH"), Text(OLESTR("x"))), Status(WBEM_E_READ_ONLY));
}

TEST_F(ObjectModel, DeleteRemovesLocalPropertiesAndResetsInstanceValues) {
  EXPECT_EQ(child_->Delete(OLESTR("Text")), Status(WBEM_E_PROPAGATED_PROPERTY));
  EXPECT_EQ(child_->Delete(OLESTR("__CLASS")), Status(WBEM_E_SYSTEM_PROPERTY));
  ComPtr<IWbemClassObject> instance = Instance(child_.Get(), 1);
  ASSERT_EQ(Put(instance.Get(), OLESTR("Text"), Text(OLESTR("mine"))), S_OK);
  EXPECT_EQ(instance->Delete(OLESTR("Text")), Status(WBEM_S_RESET_TO_DEFAULT));
  EXPECT_EQ(PropertyText(instance.Get(), OLESTR("Text")), "default");
  EXPECT_EQ(child_->Delete(OLESTR("Extra")), S_OK);
  EXPECT_EQ(child_->Get(OLESTR("Extra"), 0, nullptr, nullptr, nullptr), Status(WBEM_E_NOT_FOUND));
  // The instance spawned before keeps the definition it was made from.
  EXPECT_EQ(instance->Get(OLESTR("Extra"), 0, nullptr, nullptr, nullptr), S_OK);
}

TEST_F(ObjectModel, QualifierSetsAnswerTheirNamesAndFlavors) {
  ComPtr<IWbemQualifierSet> qualifiers;
  ASSERT_EQ(child_->GetQualifierSet(qualifiers.GetAddressOf()), S_OK);
  ASSERT_EQ(qualifiers->Put(OLESTR("Description"), Text(OLESTR("about")).AsInput(),
                            WBEM_FLAVOR_NOT_OVERRIDABLE),
            S_OK);
  winport::ScopedVariant read;
  LONG flavor = 0;
  ASSERT_EQ(qualifiers->Get(OLESTR("description"), 0, read.Receive(), &flavor), S_OK);
  EXPECT_EQ(flavor, WBEM_FLAVOR_NOT_OVERRIDABLE);
  winport::ScopedSafeArray names;
  ASSERT_EQ(qualifiers->GetNames(0, names.Receive()), S_OK);
  LONG upper = -1;
  SafeArrayGetUBound(names.Get(), 1, &upper);
  EXPECT_EQ(upper, 0);
  EXPECT_EQ(qualifiers->Delete(OLESTR("Description")), S_OK);
  EXPECT_EQ(qualifiers->Delete(OLESTR("Description")), Status(WBEM_E_NOT_FOUND));
  ComPtr<IWbemQualifierSet> none;
  EXPECT_EQ(child_->GetPropertyQualifierSet(OLESTR("Missing"), none.GetAddressOf()),
            Status(WBEM_E_NOT_FOUND));
}

TEST_F(ObjectModel, ObjectTextIsMof) {
  ComPtr<IWbemClassObject> instance = Instance(base_.Get(), 7);
  winport::ScopedBstr class_text;
  ASSERT_EQ(base_->GetObjectText(0, class_text.Receive()), S_OK);
  EXPECT_EQ(winport::WideToUtf8(winport::BstrView(class_text.Get())),
            "\nclass Base\n{\n\t[Key(-1)] sint32 Id;\n\tstring Text = \"default\";\n};\n");
  winport::ScopedBstr instance_text;
  ASSERT_EQ(instance->GetObjectText(0, instance_text.Receive()), S_OK);
  EXPECT_EQ(winport::WideToUtf8(winport::BstrView(instance_text.Get())),
            "\ninstance of Base\n{\n\tId = 7;\n\tText = \"default\";\n};\n");
}

TEST_F(ObjectModel, ClassesAreListedAndDeletedWithTheirDescendants) {
  ASSERT_EQ(root_->PutClass(base_.Get(), 0, nullptr, nullptr), S_OK);
  ASSERT_EQ(root_->PutClass(child_.Get(), 0, nullptr, nullptr), S_OK);
  for (LONG flags : {LONG{0}, LONG{WBEM_FLAG_SHALLOW}}) {
    ComPtr<IEnumWbemClassObject> classes;
    ASSERT_EQ(
        root_->CreateClassEnum(Bstr(OLESTR("Base")).Get(), flags, nullptr, classes.GetAddressOf()),
        S_OK);
    EXPECT_EQ(Drain(classes.Get()), 1u) << flags;
  }
  EXPECT_EQ(root_->DeleteClass(Bstr(OLESTR("base")).Get(), 0, nullptr, nullptr), S_OK);
  ComPtr<IWbemClassObject> gone;
  EXPECT_EQ(GetObject(root_.Get(), OLESTR("Child"), &gone), Status(WBEM_E_NOT_FOUND));
}

// Stored objects handed out by an enumeration keep their location and answer names in any
// case, after the connection and the enumeration are gone.
TEST_F(ObjectModel, EnumeratedInstancesOutliveTheirConnection) {
  ASSERT_EQ(root_->PutClass(base_.Get(), 0, nullptr, nullptr), S_OK);
  ASSERT_EQ(root_->PutInstance(Instance(base_.Get(), 7).Get(), 0, nullptr, nullptr), S_OK);
  ComPtr<IEnumWbemClassObject> instances;
  ASSERT_EQ(
      root_->CreateInstanceEnum(Bstr(OLESTR("Base")).Get(), 0, nullptr, instances.GetAddressOf()),
      S_OK);
  ComPtr<IWbemClassObject> read;
  ULONG returned = 0;
  ASSERT_EQ(instances->Next(0, 1, read.GetAddressOf(), &returned), S_OK);
  instances.Reset();
  root_.Reset();
  OLECHAR computer[256];
  DWORD size = 256;
  ASSERT_TRUE(GetComputerNameW(computer, &size));
  const std::string server = winport::WideToUtf8(winport::WideView(computer, size));
  const std::pair<const OLECHAR*, std::string> cases[] = {
      {OLESTR("__NAMESPACE"), "root\\cimv2"},
      {OLESTR("__PATH"), "\\\\" + server + "\\root\\cimv2:Base.Id=7"},
      {OLESTR("iD"), "7"},
      {OLESTR("Tex"), "error " + std::to_string(static_cast<unsigned>(WBEM_E_NOT_FOUND))},
  };
  ComPtr<IWbemClassObject> clone;
  ASSERT_EQ(read->Clone(clone.GetAddressOf()), S_OK);
  for (const auto& [name, expected] : cases) {
    EXPECT_EQ(PropertyText(read.Get(), name), expected) << winport::WideToUtf8(name);
    EXPECT_EQ(PropertyText(clone.Get(), name), expected) << winport::WideToUtf8(name);
  }
}

}  // namespace
}  // namespace wmi_tests
