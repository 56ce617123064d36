// The WMI calls of the settings store: a fresh connection and one instance by path, the
// listing of 50 settings of a 7-property class, and the update of one setting.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <string>

#include <winport/windows.h>

namespace {

using winport::ComPtr;
using winport::ScopedBstr;

// The benchmarks run on a machine of their own, in a temporary directory.
const bool kPrivateMachine = [] {
  char pattern[] = "/tmp/wmi_bench.XXXXXX";
  return mkdtemp(pattern) != nullptr && setenv("QUILLMERE_PREFIX", pattern, 1) == 0;
}();

ComPtr<IWbemServices> Connect() {
  ComPtr<IWbemLocator> locator;
  CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                   reinterpret_cast<void**>(locator.GetAddressOf()));
  ComPtr<IWbemServices> root;
  locator->ConnectServer(ScopedBstr(OLESTR("\\\\.\\root\\cimv2")).Get(), nullptr, nullptr, nullptr,
                         0, nullptr, nullptr, root.GetAddressOf());
  return root;
}

void Put(IWbemClassObject* object, const OLECHAR* name, VARIANT* value, CIMTYPE type) {
  if (FAILED(object->Put(name, 0, value, type))) std::abort();
}

HRESULT StoreSetting(IWbemServices* root, int number, LONG value) {
  ComPtr<IWbemClassObject> metadata;
  root->GetObject(ScopedBstr(OLESTR("Metadata")).Get(), 0, nullptr, metadata.GetAddressOf(),
                  nullptr);
  ComPtr<IWbemClassObject> instance;
  metadata->SpawnInstance(0, instance.GetAddressOf());
  winport::ScopedVariant name(winport::FormatWide("Setting%d", number).c_str());
  winport::ScopedVariant integer(value);
  Put(instance.Get(), OLESTR("SettingName"), const_cast<VARIANT*>(&name.Get()), 0);
  Put(instance.Get(), OLESTR("IntVal"), const_cast<VARIANT*>(&integer.Get()), 0);
  return root->PutInstance(instance.Get(), 0, nullptr, nullptr);
}

// A 7-property Metadata class with 50 instances in root\cimv2.
void Populate() {
  static bool done = false;
  if (done) return;
  done = kPrivateMachine;
  ComPtr<IWbemServices> root = Connect();
  ComPtr<IWbemClassObject> metadata;
  root->GetObject(nullptr, 0, nullptr, metadata.GetAddressOf(), nullptr);
  winport::ScopedVariant class_name(OLESTR("Metadata"));
  Put(metadata.Get(), OLESTR("__CLASS"), const_cast<VARIANT*>(&class_name.Get()), 0);
  Put(metadata.Get(), OLESTR("SettingName"), nullptr, CIM_STRING);
  ComPtr<IWbemQualifierSet> qualifiers;
  metadata->GetPropertyQualifierSet(OLESTR("SettingName"), qualifiers.GetAddressOf());
  VARIANT key;
  VariantInit(&key);
  key.vt = VT_BOOL;
  key.boolVal = VARIANT_TRUE;
  qualifiers->Put(OLESTR("Key"), &key, 0);
  winport::ScopedVariant text(OLESTR("StringValue"));
  Put(metadata.Get(), OLESTR("StringValue"), const_cast<VARIANT*>(&text.Get()), CIM_STRING);
  for (const OLECHAR* name : {OLESTR("IntVal"), OLESTR("CIMTYPE")})
    Put(metadata.Get(), name, nullptr, CIM_SINT32);
  for (const OLECHAR* name : {OLESTR("ResponsibleObject"), OLESTR("Description")})
    Put(metadata.Get(), name, nullptr, CIM_STRING);
  Put(metadata.Get(), OLESTR("RealVal"), nullptr, CIM_REAL32);
  root->PutClass(metadata.Get(), 0, nullptr, nullptr);
  for (int i = 0; i < 50; ++i)
    StoreSetting(root.Get(), i, i);
}

void BM_ConnectAndGetObject(benchmark::State& state) {
  winport::ScopedComInit com(COINIT_MULTITHREADED);
  Populate();
  const ScopedBstr path(OLESTR("Metadata=\"Setting7\""));
  for (auto _ : state) {
    ComPtr<IWbemServices> root = Connect();
    ComPtr<IWbemClassObject> object;
    if (FAILED(root->GetObject(path.Get(), 0, nullptr, object.GetAddressOf(), nullptr)))
      state.SkipWithError("GetObject failed");
  }
}
BENCHMARK(BM_ConnectAndGetObject);

void BM_EnumerateFiftyInstances(benchmark::State& state) {
  winport::ScopedComInit com(COINIT_MULTITHREADED);
  Populate();
  ComPtr<IWbemServices> root = Connect();
  const ScopedBstr class_name(OLESTR("Metadata"));
  for (auto _ : state) {
    ComPtr<IEnumWbemClassObject> enumerator;
    root->CreateInstanceEnum(class_name.Get(), 0, nullptr, enumerator.GetAddressOf());
    ComPtr<IWbemClassObject> object;
    ULONG returned = 0;
    int count = 0;
    while (enumerator->Next(2000, 1, object.ReleaseAndGetAddressOf(), &returned) == S_OK)
      ++count;
    if (count != 50) state.SkipWithError("not 50 instances");
  }
}
BENCHMARK(BM_EnumerateFiftyInstances);

void BM_PutInstanceUpdate(benchmark::State& state) {
  winport::ScopedComInit com(COINIT_MULTITHREADED);
  Populate();
  ComPtr<IWbemServices> root = Connect();
  LONG value = 0;
  for (auto _ : state) {
    if (FAILED(StoreSetting(root.Get(), 7, ++value))) state.SkipWithError("PutInstance failed");
  }
}
BENCHMARK(BM_PutInstanceUpdate);

}  // namespace
