// The calls the settings store makes, in its order and with its arguments, against a
// fresh machine: namespace through __Namespace, the Metadata class, instances by path,
// enumeration with local-only walks, queries, and a second process reading the result.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "wmi_client.h"

namespace wmi_tests {
namespace {

// Creates the namespace `name` under root and opens it.
ComPtr<IWbemServices> CreateNamespace(IWbemServices* root, const OLECHAR* name) {
  ComPtr<IWbemClassObject> instance = Spawn(root, OLESTR("__Namespace"));
  EXPECT_TRUE(instance);
  if (!instance) return {};
  EXPECT_EQ(Put(instance.Get(), OLESTR("Name"), Text(name)), S_OK);
  EXPECT_EQ(root->PutInstance(instance.Get(), WBEM_FLAG_CREATE_ONLY, nullptr, nullptr), S_OK);
  EXPECT_EQ(root->PutInstance(instance.Get(), WBEM_FLAG_CREATE_ONLY, nullptr, nullptr),
            Status(WBEM_E_ALREADY_EXISTS));
  ComPtr<IWbemServices> opened;
  EXPECT_EQ(root->OpenNamespace(Bstr(name).Get(), 0, nullptr, opened.GetAddressOf(), nullptr),
            S_OK);
  return opened;
}

// The Metadata class with its key written as the given qualifier value.
void CreateMetadataClass(IWbemServices* settings, const VARIANT& key) {
  ComPtr<IWbemClassObject> metadata =
      NewClass(settings, OLESTR("Metadata"), OLESTR("SettingName"), CIM_STRING, key);
  EXPECT_EQ(Put(metadata.Get(), OLESTR("StringValue"), Text(OLESTR("StringValue")), CIM_STRING),
            S_OK);
  const std::pair<const OLECHAR*, CIMTYPE> rest[] = {{OLESTR("IntVal"), CIM_SINT32},
                                                     {OLESTR("CIMTYPE"), CIM_SINT32},
                                                     {OLESTR("ResponsibleObject"), CIM_STRING},
                                                     {OLESTR("RealVal"), CIM_REAL32},
                                                     {OLESTR("Description"), CIM_STRING}};
  for (const auto& [name, type] : rest)
    EXPECT_EQ(metadata->Put(name, 0, nullptr, type), S_OK);
  EXPECT_EQ(settings->PutClass(metadata.Get(), 0, nullptr, nullptr), S_OK);
}

HRESULT PutSetting(IWbemServices* settings, const OLECHAR* name, LONG value, LONG flags = 0,
                   const OLECHAR* class_name = OLESTR("Metadata")) {
  ComPtr<IWbemClassObject> instance = Spawn(settings, class_name);
  if (!instance) return E_FAIL;
  if (name != nullptr) Put(instance.Get(), OLESTR("SettingName"), Text(name), CIM_STRING);
  Put(instance.Get(), OLESTR("IntVal"), ScopedVariant(value));
  return settings->PutInstance(instance.Get(), flags, nullptr, nullptr);
}

class SettingsStore : public testing::Test {
 protected:
  void SetUp() override {
    root_ = ConnectRoot();
    ASSERT_TRUE(root_);
    settings_ = CreateNamespace(root_.Get(), OLESTR("quillmere"));
    ASSERT_TRUE(settings_);
    CreateMetadataClass(settings_.Get(), BooleanTrue());
  }

  std::string Fetch(const OLECHAR* path, const OLECHAR* property) {
    ComPtr<IWbemClassObject> object;
    const HRESULT hr = GetObject(settings_.Get(), path, &object);
    if (FAILED(hr)) return "error " + std::to_string(static_cast<unsigned>(hr));
    return PropertyText(object.Get(), property);
  }

  // The SettingName of each instance an enumeration of Metadata hands out, each followed
  // by the names of its class's own properties.
  std::vector<std::string> Walk(LONG flags) {
    ComPtr<IEnumWbemClassObject> enumerator;
    EXPECT_EQ(settings_->CreateInstanceEnum(Bstr(OLESTR("Metadata")).Get(), flags, nullptr,
                                            enumerator.GetAddressOf()),
              S_OK);
    std::vector<std::string> walked;
    ComPtr<IWbemClassObject> object;
    ULONG returned = 0;
    while (enumerator &&
           enumerator->Next(2000, 1, object.ReleaseAndGetAddressOf(), &returned) == S_OK) {
      std::string line = PropertyText(object.Get(), OLESTR("SettingName")) + ":";
      EXPECT_EQ(object->BeginEnumeration(WBEM_FLAG_LOCAL_ONLY), S_OK);
      winport::ScopedBstr property;
      while (object->Next(0, property.Receive(), nullptr, nullptr, nullptr) == S_OK)
        line += (line.back() == ':' ? "" : ",") + winport::WideToUtf8(property.Get());
      EXPECT_EQ(object->Next(0, nullptr, nullptr, nullptr, nullptr), Status(WBEM_S_NO_MORE_DATA));
      walked.push_back(line);
    }
    return walked;
  }

  winport::ScopedComInit com_{COINIT_MULTITHREADED};
  ComPtr<IWbemServices> root_;
  ComPtr<IWbemServices> settings_;
};

// The class default shows through where the instance set nothing; unset is null.
TEST_F(SettingsStore, AnInstanceIsFoundByEveryPathFormAndNameCase) {
  ASSERT_EQ(PutSetting(settings_.Get(), OLESTR("ReportingLevel"), 7), S_OK);
  const std::pair<const OLECHAR*, const char*> cases[] = {
      {OLESTR("IntVal"), "7"},
      {OLESTR("__RELPATH"), "Metadata.SettingName=\"ReportingLevel\""},
      {OLESTR("__NAMESPACE"), "root\\cimv2\\quillmere"},
      {OLESTR("StringValue"), "StringValue"},
      {OLESTR("Description"), ""},
  };
  for (const auto& [property, expected] : cases)
    EXPECT_EQ(Fetch(OLESTR("Metadata=\"ReportingLevel\""), property), expected);
  EXPECT_EQ(Fetch(OLESTR("Metadata.SettingName=\"ReportingLevel\""), OLESTR("IntVal")), "7");
  EXPECT_EQ(Fetch(OLESTR("metadata.settingname=\"reportinglevel\""), OLESTR("IntVal")), "7");
}

// Malformed paths are the object path parser's (object_model_test); these are lookups of
// well-formed paths that name nothing.
TEST_F(SettingsStore, LookupFailuresAnswerWmiCodes) {
  ASSERT_EQ(PutSetting(settings_.Get(), OLESTR("ReportingLevel"), 7), S_OK);
  const std::pair<const OLECHAR*, WBEMSTATUS> cases[] = {
      {OLESTR("Metadata=\"Missing\""), WBEM_E_NOT_FOUND},
      {OLESTR("Metadata.Other=\"x\""), WBEM_E_INVALID_OBJECT_PATH},
      {OLESTR("NoSuchClass=\"x\""), WBEM_E_INVALID_CLASS},
      {OLESTR("NoSuchClass"), WBEM_E_NOT_FOUND},
  };
  for (const auto& [path, status] : cases) {
    ComPtr<IWbemClassObject> object;
    EXPECT_EQ(GetObject(settings_.Get(), path, &object), Status(status))
        << winport::WideToUtf8(path);
    EXPECT_FALSE(object);
  }
}

TEST_F(SettingsStore, PutInstanceHonoursItsFlagsAndNeedsTheKey) {
  const std::tuple<LONG, LONG, HRESULT> steps[] = {
      {1, WBEM_FLAG_UPDATE_ONLY, Status(WBEM_E_NOT_FOUND)},
      {1, WBEM_FLAG_CREATE_ONLY, S_OK},
      {2, WBEM_FLAG_CREATE_ONLY, Status(WBEM_E_ALREADY_EXISTS)},
      {3, WBEM_FLAG_UPDATE_ONLY, S_OK},
      {4, 0, S_OK},
  };
  for (const auto& [value, flags, expected] : steps)
    EXPECT_EQ(PutSetting(settings_.Get(), OLESTR("A"), value, flags), expected) << value;
  EXPECT_EQ(Fetch(OLESTR("Metadata=\"A\""), OLESTR("IntVal")), "4");
  EXPECT_EQ(PutSetting(settings_.Get(), nullptr, 5), Status(WBEM_E_ILLEGAL_NULL));
}

TEST_F(SettingsStore, InstancePutCoercesToTheDeclaredTypeOrRefuses) {
  ComPtr<IWbemClassObject> instance = Spawn(settings_.Get(), OLESTR("Metadata"));
  ASSERT_TRUE(instance);
  VARIANT real;
  VariantInit(&real);
  real.vt = VT_R8;
  real.dblVal = 2.5;
  ASSERT_EQ(instance->Put(OLESTR("RealVal"), 0, &real, CIM_REAL32), S_OK);
  ScopedVariant value;
  CIMTYPE type = 0;
  ASSERT_EQ(instance->Get(OLESTR("RealVal"), 0, value.Receive(), &type, nullptr), S_OK);
  EXPECT_EQ(value.Type(), VT_R4);
  EXPECT_EQ(type, CIM_REAL32);
  EXPECT_EQ(Put(instance.Get(), OLESTR("IntVal"), Text(OLESTR("12abc"))),
            Status(WBEM_E_TYPE_MISMATCH));
  EXPECT_EQ(instance->Put(OLESTR("IntVal"), 0, &real, CIM_STRING), Status(WBEM_E_TYPE_MISMATCH));
  EXPECT_EQ(instance->Put(OLESTR("Nothing"), 0, &real, 0), Status(WBEM_E_NOT_FOUND));
  EXPECT_EQ(instance->Get(OLESTR("Nothing"), 0, value.Receive(), nullptr, nullptr),
            Status(WBEM_E_NOT_FOUND));
}

TEST_F(SettingsStore, DeepEnumerationWalksOnlyEachClassesOwnProperties) {
  ComPtr<IWbemClassObject> metadata;
  ASSERT_EQ(GetObject(settings_.Get(), OLESTR("Metadata"), &metadata), S_OK);
  ComPtr<IWbemClassObject> derived;
  ASSERT_EQ(metadata->SpawnDerivedClass(0, derived.GetAddressOf()), S_OK);
  ASSERT_EQ(Put(derived.Get(), OLESTR("__CLASS"), Text(OLESTR("PoolSetting"))), S_OK);
  ASSERT_EQ(derived->Put(OLESTR("Pool"), 0, nullptr, CIM_STRING), S_OK);
  ASSERT_EQ(settings_->PutClass(derived.Get(), 0, nullptr, nullptr), S_OK);
  ASSERT_EQ(PutSetting(settings_.Get(), OLESTR("Base"), 1), S_OK);
  ASSERT_EQ(PutSetting(settings_.Get(), OLESTR("Derived"), 2, 0, OLESTR("PoolSetting")), S_OK);

  const std::string base =
      "Base:SettingName,StringValue,IntVal,CIMTYPE,ResponsibleObject,RealVal,Description";
  EXPECT_EQ(Walk(0), (std::vector<std::string>{base, "Derived:Pool"}));
  EXPECT_EQ(Walk(WBEM_FLAG_SHALLOW), std::vector<std::string>{base});
}

TEST_F(SettingsStore, EnumeratorNextSkipResetAndClone) {
  for (const OLECHAR* name : {OLESTR("A"), OLESTR("B"), OLESTR("C")})
    ASSERT_EQ(PutSetting(settings_.Get(), name, 1), S_OK);
  ComPtr<IEnumWbemClassObject> enumerator;
  ASSERT_EQ(settings_->CreateInstanceEnum(Bstr(OLESTR("Metadata")).Get(), 0, nullptr,
                                          enumerator.GetAddressOf()),
            S_OK);
  EXPECT_EQ(enumerator->Skip(WBEM_INFINITE, 1), S_OK);
  ComPtr<IEnumWbemClassObject> clone;
  ASSERT_EQ(enumerator->Clone(clone.GetAddressOf()), S_OK);
  EXPECT_EQ(Drain(enumerator.Get()), 2u);
  ComPtr<IWbemClassObject> object;
  ULONG returned = 0;
  EXPECT_EQ(clone->Next(0, 1, object.GetAddressOf(), &returned), S_OK);
  EXPECT_EQ(PropertyText(object.Get(), OLESTR("SettingName")), "B");
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
    const HRESULT count = SUCCEEDED(hr) ? static_cast<HRESULT>(Drain(enumerator.Get())) : hr;
    EXPECT_EQ(count, expected) << winport::WideToUtf8(query);
  }
}

TEST_F(SettingsStore, AKeyWrittenAsSixteenBitMinusOneCounts) {
  ComPtr<IWbemServices> other = CreateNamespace(root_.Get(), OLESTR("Other"));
  ASSERT_TRUE(other);
  VARIANT minus_one;
  VariantInit(&minus_one);
  minus_one.vt = VT_I2;
  minus_one.iVal = -1;
  CreateMetadataClass(other.Get(), minus_one);
  ASSERT_EQ(PutSetting(other.Get(), OLESTR("X"), 3), S_OK);
  ComPtr<IWbemClassObject> found;
  EXPECT_EQ(GetObject(other.Get(), OLESTR("Metadata=\"X\""), &found), S_OK);
  ComPtr<IWbemServices> missing;
  EXPECT_EQ(root_->OpenNamespace(Bstr(OLESTR("absent")).Get(), 0, nullptr, missing.GetAddressOf(),
                                 nullptr),
            Status(WBEM_E_INVALID_NAMESPACE));
}

TEST_F(SettingsStore, ASecondProcessSeesWhatTheFirstStored) {
  ASSERT_EQ(PutSetting(settings_.Get(), OLESTR("ReportingLevel"), 7), S_OK);
  // Another program on the same machine: its own apartment, connection and update.
  ASSERT_TRUE(ChangedByAnotherProcess([](IWbemServices* root) {
    ComPtr<IWbemServices> settings;
    ComPtr<IWbemClassObject> found;
    if (FAILED(root->OpenNamespace(Bstr(OLESTR("quillmere")).Get(), 0, nullptr,
                                   settings.GetAddressOf(), nullptr)) ||
        FAILED(GetObject(settings.Get(), OLESTR("Metadata=\"ReportingLevel\""), &found)) ||
        PropertyText(found.Get(), OLESTR("IntVal")) != "7") {
      return E_FAIL;
    }
    return PutSetting(settings.Get(), OLESTR("ReportingLevel"), 15);
  }));
  EXPECT_EQ(Fetch(OLESTR("Metadata=\"ReportingLevel\""), OLESTR("IntVal")), "15");
}

}  // namespace
}  // namespace wmi_tests
