// The calls the settings store makes, in its order and with its arguments, against a
// fresh machine: namespace through __Namespace, the Metadata class, instances by path,
// enumeration with local-only walks, queries, and a second process reading the result.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include "wmi_client.h"

namespace wmi_tests {
namespace {

using winport::ComPtr;
using winport::ScopedVariant;

winport::ComPtr<IWbemServices> CreateSettingsNamespace(IWbemServices* root) {
  ComPtr<IWbemClassObject> namespace_class;
  EXPECT_EQ(root->GetObject(Bstr(OLESTR("__Namespace")).Get(), 0, nullptr,
                            namespace_class.GetAddressOf(), nullptr),
            S_OK);
  ComPtr<IWbemClassObject> instance;
  EXPECT_EQ(namespace_class->SpawnInstance(0, instance.GetAddressOf()), S_OK);
  ScopedVariant name = Text(OLESTR("quillmere"));
  EXPECT_EQ(instance->Put(OLESTR("Name"), 0, const_cast<VARIANT*>(&name.Get()), 0), S_OK);
  EXPECT_EQ(root->PutInstance(instance.Get(), 0, nullptr, nullptr), S_OK);
  ComPtr<IWbemServices> settings;
  EXPECT_EQ(root->OpenNamespace(Bstr(OLESTR("quillmere")).Get(), 0, nullptr,
                                settings.GetAddressOf(), nullptr),
            S_OK);
  return settings;
}

void PutProperty(IWbemClassObject* object, const OLECHAR* name, VARIANT* value, CIMTYPE type) {
  EXPECT_EQ(object->Put(name, 0, value, type), S_OK) << winport::WideToUtf8(name);
}

// The Metadata class with its key written as the given qualifier value.
void CreateMetadataClass(IWbemServices* settings, VARIANT key) {
  ComPtr<IWbemClassObject> metadata;
  ASSERT_EQ(settings->GetObject(nullptr, 0, nullptr, metadata.GetAddressOf(), nullptr), S_OK);
  ScopedVariant class_name = Text(OLESTR("Metadata"));
  PutProperty(metadata.Get(), OLESTR("__CLASS"), const_cast<VARIANT*>(&class_name.Get()), 0);
  PutProperty(metadata.Get(), OLESTR("SettingName"), nullptr, CIM_STRING);
  ComPtr<IWbemQualifierSet> qualifiers;
  ASSERT_EQ(metadata->GetPropertyQualifierSet(OLESTR("SettingName"), qualifiers.GetAddressOf()),
            S_OK);
  EXPECT_EQ(qualifiers->Put(OLESTR("Key"), &key, 0), S_OK);
  ScopedVariant default_text = Text(OLESTR("StringValue"));
  PutProperty(metadata.Get(), OLESTR("StringValue"), const_cast<VARIANT*>(&default_text.Get()),
              CIM_STRING);
  const std::pair<const OLECHAR*, CIMTYPE> rest[] = {{OLESTR("IntVal"), CIM_SINT32},
                                                     {OLESTR("CIMTYPE"), CIM_SINT32},
                                                     {OLESTR("ResponsibleObject"), CIM_STRING},
                                                     {OLESTR("RealVal"), CIM_REAL32},
                                                     {OLESTR("Description"), CIM_STRING}};
  for (const auto& [name, type] : rest)
    PutProperty(metadata.Get(), name, nullptr, type);
  EXPECT_EQ(settings->PutClass(metadata.Get(), 0, nullptr, nullptr), S_OK);
}

VARIANT BooleanTrue() {
  VARIANT key;
  VariantInit(&key);
  key.vt = VT_BOOL;
  key.boolVal = VARIANT_TRUE;
  return key;
}

HRESULT PutSetting(IWbemServices* settings, const OLECHAR* name, LONG value, LONG flags = 0) {
  ComPtr<IWbemClassObject> metadata;
  HRESULT hr = settings->GetObject(Bstr(OLESTR("Metadata")).Get(), 0, nullptr,
                                   metadata.GetAddressOf(), nullptr);
  if (FAILED(hr)) return hr;
  ComPtr<IWbemClassObject> instance;
  hr = metadata->SpawnInstance(0, instance.GetAddressOf());
  if (FAILED(hr)) return hr;
  ScopedVariant setting_name = Text(name);
  ScopedVariant number(value);
  if (name != nullptr)
    instance->Put(OLESTR("SettingName"), 0, const_cast<VARIANT*>(&setting_name.Get()), CIM_STRING);
  instance->Put(OLESTR("IntVal"), 0, const_cast<VARIANT*>(&number.Get()), 0);
  return settings->PutInstance(instance.Get(), flags, nullptr, nullptr);
}

class SettingsStore : public testing::Test {
 protected:
  void SetUp() override {
    root_ = ConnectRoot();
    ASSERT_TRUE(root_);
    settings_ = CreateSettingsNamespace(root_.Get());
    ASSERT_TRUE(settings_);
    CreateMetadataClass(settings_.Get(), BooleanTrue());
  }

  std::string Fetch(const OLECHAR* path, const OLECHAR* property) {
    ComPtr<IWbemClassObject> object;
    const HRESULT hr =
        settings_->GetObject(Bstr(path).Get(), 0, nullptr, object.GetAddressOf(), nullptr);
    if (FAILED(hr)) return "error " + std::to_string(static_cast<unsigned>(hr));
    return PropertyText(object.Get(), property);
  }

  winport::ScopedComInit com_{COINIT_MULTITHREADED};
  ComPtr<IWbemServices> root_;
  ComPtr<IWbemServices> settings_;
};

TEST_F(SettingsStore, AnInstanceIsFoundByEveryPathFormAndNameCase) {
  ASSERT_EQ(PutSetting(settings_.Get(), OLESTR("ReportingLevel"), 7), S_OK);
  EXPECT_EQ(Fetch(OLESTR("Metadata=\"ReportingLevel\""), OLESTR("IntVal")), "7");
  EXPECT_EQ(Fetch(OLESTR("Metadata.SettingName=\"ReportingLevel\""), OLESTR("IntVal")), "7");
  EXPECT_EQ(Fetch(OLESTR("metadata.settingname=\"reportinglevel\""), OLESTR("IntVal")), "7");
  EXPECT_EQ(Fetch(OLESTR("Metadata=\"ReportingLevel\""), OLESTR("__RELPATH")),
            "Metadata.SettingName=\"ReportingLevel\"");
  EXPECT_EQ(Fetch(OLESTR("Metadata=\"ReportingLevel\""), OLESTR("__NAMESPACE")),
            "root\\cimv2\\quillmere");
  EXPECT_EQ(Fetch(OLESTR("Metadata=\"ReportingLevel\""), OLESTR("__GENUS")), "2");
  // The class default shows through where the instance set nothing; unset is null.
  EXPECT_EQ(Fetch(OLESTR("Metadata=\"ReportingLevel\""), OLESTR("StringValue")), "StringValue");
  EXPECT_EQ(Fetch(OLESTR("Metadata=\"ReportingLevel\""), OLESTR("Description")), "");
}

TEST_F(SettingsStore, LookupFailuresAnswerWmiCodes) {
  ASSERT_EQ(PutSetting(settings_.Get(), OLESTR("ReportingLevel"), 7), S_OK);
  const std::pair<const OLECHAR*, WBEMSTATUS> cases[] = {
      {OLESTR("Metadata=\"Missing\""), WBEM_E_NOT_FOUND},
      {OLESTR("Metadata=\"a\"b\""), WBEM_E_INVALID_OBJECT_PATH},
      {OLESTR("Metadata.Other=\"x\""), WBEM_E_INVALID_OBJECT_PATH},
      {OLESTR("Metadata=\"unclosed"), WBEM_E_INVALID_OBJECT_PATH},
      {OLESTR("NoSuchClass=\"x\""), WBEM_E_INVALID_CLASS},
      {OLESTR("NoSuchClass"), WBEM_E_NOT_FOUND},
  };
  for (const auto& [path, status] : cases) {
    ComPtr<IWbemClassObject> object;
    EXPECT_EQ(settings_->GetObject(Bstr(path).Get(), 0, nullptr, object.GetAddressOf(), nullptr),
              Status(status))
        << winport::WideToUtf8(path);
    EXPECT_FALSE(object);
  }
}

TEST_F(SettingsStore, PutInstanceHonoursItsFlagsAndNeedsTheKey) {
  EXPECT_EQ(PutSetting(settings_.Get(), OLESTR("A"), 1, WBEM_FLAG_UPDATE_ONLY),
            Status(WBEM_E_NOT_FOUND));
  EXPECT_EQ(PutSetting(settings_.Get(), OLESTR("A"), 1, WBEM_FLAG_CREATE_ONLY), S_OK);
  EXPECT_EQ(PutSetting(settings_.Get(), OLESTR("A"), 2, WBEM_FLAG_CREATE_ONLY),
            Status(WBEM_E_ALREADY_EXISTS));
  EXPECT_EQ(PutSetting(settings_.Get(), OLESTR("A"), 3, WBEM_FLAG_UPDATE_ONLY), S_OK);
  EXPECT_EQ(PutSetting(settings_.Get(), OLESTR("A"), 4), S_OK);
  EXPECT_EQ(Fetch(OLESTR("Metadata=\"A\""), OLESTR("IntVal")), "4");
  EXPECT_EQ(PutSetting(settings_.Get(), nullptr, 5), Status(WBEM_E_ILLEGAL_NULL));
}

TEST_F(SettingsStore, InstancePutCoercesToTheDeclaredTypeOrRefuses) {
  ComPtr<IWbemClassObject> metadata;
  ASSERT_EQ(settings_->GetObject(Bstr(OLESTR("Metadata")).Get(), 0, nullptr,
                                 metadata.GetAddressOf(), nullptr),
            S_OK);
  ComPtr<IWbemClassObject> instance;
  ASSERT_EQ(metadata->SpawnInstance(0, instance.GetAddressOf()), S_OK);
  VARIANT real;
  VariantInit(&real);
  real.vt = VT_R8;
  real.dblVal = 2.5;
  ASSERT_EQ(instance->Put(OLESTR("RealVal"), 0, &real, CIM_REAL32), S_OK);
  ScopedVariant value;
  CIMTYPE type = 0;
  ASSERT_EQ(instance->Get(OLESTR("RealVal"), 0, value.Receive(), &type, nullptr), S_OK);
  EXPECT_EQ(value.Get().vt, VT_R4);
  EXPECT_EQ(type, CIM_REAL32);
  ScopedVariant letters = Text(OLESTR("12abc"));
  EXPECT_EQ(instance->Put(OLESTR("IntVal"), 0, const_cast<VARIANT*>(&letters.Get()), 0),
            Status(WBEM_E_TYPE_MISMATCH));
  EXPECT_EQ(instance->Put(OLESTR("IntVal"), 0, &real, CIM_STRING), Status(WBEM_E_TYPE_MISMATCH));
  EXPECT_EQ(instance->Put(OLESTR("Nothing"), 0, &real, 0), Status(WBEM_E_NOT_FOUND));
  EXPECT_EQ(instance->Get(OLESTR("Nothing"), 0, value.Receive(), nullptr, nullptr),
            Status(WBEM_E_NOT_FOUND));
}

TEST_F(SettingsStore, DeepEnumerationWalksOnlyEachClassesOwnProperties) {
  ComPtr<IWbemClassObject> metadata;
  ASSERT_EQ(settings_->GetObject(Bstr(OLESTR("Metadata")).Get(), 0, nullptr,
                                 metadata.GetAddressOf(), nullptr),
            S_OK);
  ComPtr<IWbemClassObject> derived;
  ASSERT_EQ(metadata->SpawnDerivedClass(0, derived.GetAddressOf()), S_OK);
  ScopedVariant name = Text(OLESTR("PoolSetting"));
  PutProperty(derived.Get(), OLESTR("__CLASS"), const_cast<VARIANT*>(&name.Get()), 0);
  PutProperty(derived.Get(), OLESTR("Pool"), nullptr, CIM_STRING);
  ASSERT_EQ(settings_->PutClass(derived.Get(), 0, nullptr, nullptr), S_OK);
  ASSERT_EQ(PutSetting(settings_.Get(), OLESTR("Base"), 1), S_OK);
  ComPtr<IWbemClassObject> derived_class;
  ASSERT_EQ(settings_->GetObject(Bstr(OLESTR("PoolSetting")).Get(), 0, nullptr,
                                 derived_class.GetAddressOf(), nullptr),
            S_OK);
  ComPtr<IWbemClassObject> instance;
  ASSERT_EQ(derived_class->SpawnInstance(0, instance.GetAddressOf()), S_OK);
  ScopedVariant key = Text(OLESTR("Derived"));
  PutProperty(instance.Get(), OLESTR("SettingName"), const_cast<VARIANT*>(&key.Get()), 0);
  ASSERT_EQ(settings_->PutInstance(instance.Get(), 0, nullptr, nullptr), S_OK);

  const std::pair<LONG, std::vector<std::string>> cases[] = {
      {0,
       {"Base:SettingName,StringValue,IntVal,CIMTYPE,ResponsibleObject,RealVal,Description",
        "Derived:Pool"}},
      {WBEM_FLAG_SHALLOW,
       {"Base:SettingName,StringValue,IntVal,CIMTYPE,ResponsibleObject,RealVal,Description"}},
  };
  for (const auto& [flags, expected] : cases) {
    ComPtr<IEnumWbemClassObject> enumerator;
    ASSERT_EQ(settings_->CreateInstanceEnum(Bstr(OLESTR("Metadata")).Get(), flags, nullptr,
                                            enumerator.GetAddressOf()),
              S_OK);
    std::vector<std::string> walked;
    ComPtr<IWbemClassObject> object;
    ULONG returned = 0;
    while (enumerator->Next(2000, 1, object.ReleaseAndGetAddressOf(), &returned) == S_OK &&
           returned == 1) {
      std::string line = PropertyText(object.Get(), OLESTR("SettingName")) + ":";
      ASSERT_EQ(object->BeginEnumeration(WBEM_FLAG_LOCAL_ONLY), S_OK);
      winport::ScopedBstr property;
      while (object->Next(0, property.Receive(), nullptr, nullptr, nullptr) == S_OK) {
        if (line.back() != ':') line += ",";
        line += winport::WideToUtf8(winport::BstrView(property.Get()));
        property.Reset();
      }
      EXPECT_EQ(object->Next(0, nullptr, nullptr, nullptr, nullptr), Status(WBEM_S_NO_MORE_DATA));
      walked.push_back(line);
    }
    EXPECT_EQ(walked, expected) << "flags " << flags;
  }
}

TEST_F(SettingsStore, EnumeratorNextSkipResetAndClone) {
  for (const OLECHAR* name : {OLESTR("A"), OLESTR("B"), OLESTR("C")})
    ASSERT_EQ(PutSetting(settings_.Get(), name, 1), S_OK);
  ComPtr<IEnumWbemClassObject> enumerator;
  ASSERT_EQ(settings_->CreateInstanceEnum(Bstr(OLESTR("Metadata")).Get(), 0, nullptr,
                                          enumerator.GetAddressOf()),
            S_OK);
  IWbemClassObject* objects[4] = {};
  ULONG returned = 0;
  EXPECT_EQ(enumerator->Skip(WBEM_INFINITE, 1), S_OK);
  ComPtr<IEnumWbemClassObject> clone;
  ASSERT_EQ(enumerator->Clone(clone.GetAddressOf()), S_OK);
  EXPECT_EQ(enumerator->Next(WBEM_INFINITE, 4, objects, &returned), Status(WBEM_S_FALSE));
  EXPECT_EQ(returned, 2u);
  for (ULONG i = 0; i < returned; ++i)
    objects[i]->Release();
  EXPECT_EQ(clone->Next(0, 1, objects, &returned), S_OK);
  EXPECT_EQ(PropertyText(objects[0], OLESTR("SettingName")), "B");
  objects[0]->Release();
  EXPECT_EQ(enumerator->Reset(), S_OK);
  EXPECT_EQ(enumerator->Skip(0, 5), Status(WBEM_S_FALSE));
}

TEST_F(SettingsStore, QueriesSelectByClassAndOneCondition) {
  ASSERT_EQ(PutSetting(settings_.Get(), OLESTR("A"), 1), S_OK);
  ASSERT_EQ(PutSetting(settings_.Get(), OLESTR("B"), 2), S_OK);
  const std::pair<const OLECHAR*, HRESULT> cases[] = {
      {OLESTR("SELECT * FROM Metadata"), 2},
      {OLESTR("select * from metadata where SettingName = 'b'"), 1},
      {OLESTR("SELECT * FROM Metadata WHERE IntVal = 1"), 1},
      {OLESTR("SELECT * FROM Metadata WHERE IntVal = 9"), 0},
      {OLESTR("SELECT SettingName FROM Metadata"), Status(WBEM_E_INVALID_QUERY)},
      {OLESTR("SELECT * FROM Metadata WHERE IntVal > 1"), Status(WBEM_E_INVALID_QUERY)},
      {OLESTR("SELECT * FROM Nothing"), Status(WBEM_E_INVALID_QUERY)},
  };
  for (const auto& [query, expected] : cases) {
    ComPtr<IEnumWbemClassObject> enumerator;
    const HRESULT hr = settings_->ExecQuery(Bstr(OLESTR("WQL")).Get(), Bstr(query).Get(), 0,
                                            nullptr, enumerator.GetAddressOf());
    HRESULT count = hr;
    if (SUCCEEDED(hr)) {
      IWbemClassObject* objects[4] = {};
      ULONG returned = 0;
      enumerator->Next(0, 4, objects, &returned);
      for (ULONG i = 0; i < returned; ++i)
        objects[i]->Release();
      count = static_cast<HRESULT>(returned);
    }
    EXPECT_EQ(count, expected) << winport::WideToUtf8(query);
  }
}

TEST_F(SettingsStore, AKeyWrittenAsSixteenBitMinusOneCounts) {
  ComPtr<IWbemServices> other;
  ComPtr<IWbemClassObject> ns_class;
  ASSERT_EQ(root_->GetObject(Bstr(OLESTR("__NAMESPACE")).Get(), 0, nullptr, ns_class.GetAddressOf(),
                             nullptr),
            S_OK);
  ComPtr<IWbemClassObject> ns;
  ASSERT_EQ(ns_class->SpawnInstance(0, ns.GetAddressOf()), S_OK);
  ScopedVariant name = Text(OLESTR("Other"));
  PutProperty(ns.Get(), OLESTR("Name"), const_cast<VARIANT*>(&name.Get()), 0);
  ASSERT_EQ(root_->PutInstance(ns.Get(), WBEM_FLAG_CREATE_ONLY, nullptr, nullptr), S_OK);
  EXPECT_EQ(root_->PutInstance(ns.Get(), WBEM_FLAG_CREATE_ONLY, nullptr, nullptr),
            Status(WBEM_E_ALREADY_EXISTS));
  ASSERT_EQ(
      root_->OpenNamespace(Bstr(OLESTR("other")).Get(), 0, nullptr, other.GetAddressOf(), nullptr),
      S_OK);
  VARIANT minus_one;
  VariantInit(&minus_one);
  minus_one.vt = VT_I2;
  minus_one.iVal = -1;
  CreateMetadataClass(other.Get(), minus_one);
  ASSERT_EQ(PutSetting(other.Get(), OLESTR("X"), 3), S_OK);
  ComPtr<IWbemClassObject> found;
  EXPECT_EQ(other->GetObject(Bstr(OLESTR("Metadata=\"X\"")).Get(), 0, nullptr, found.GetAddressOf(),
                             nullptr),
            S_OK);
  ComPtr<IWbemServices> missing;
  EXPECT_EQ(root_->OpenNamespace(Bstr(OLESTR("absent")).Get(), 0, nullptr, missing.GetAddressOf(),
                                 nullptr),
            Status(WBEM_E_INVALID_NAMESPACE));
}

TEST_F(SettingsStore, ASecondProcessSeesWhatTheFirstStored) {
  ASSERT_EQ(PutSetting(settings_.Get(), OLESTR("ReportingLevel"), 7), S_OK);
  const pid_t child = fork();
  if (child == 0) {
    // Another program on the same machine: its own apartment, connection and update.
    winport::ScopedComInit com(COINIT_MULTITHREADED);
    ComPtr<IWbemServices> root = ConnectRoot();
    ComPtr<IWbemServices> settings;
    bool ok = root && SUCCEEDED(root->OpenNamespace(Bstr(OLESTR("quillmere")).Get(), 0, nullptr,
                                                    settings.GetAddressOf(), nullptr));
    ComPtr<IWbemClassObject> found;
    ok = ok && SUCCEEDED(settings->GetObject(Bstr(OLESTR("Metadata=\"ReportingLevel\"")).Get(), 0,
                                             nullptr, found.GetAddressOf(), nullptr));
    ok = ok && PropertyText(found.Get(), OLESTR("IntVal")) == "7";
    ok = ok && PutSetting(settings.Get(), OLESTR("ReportingLevel"), 15) == S_OK;
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(Fetch(OLESTR("Metadata=\"ReportingLevel\""), OLESTR("IntVal")), "15");
}

}  // namespace
}  // namespace wmi_tests
