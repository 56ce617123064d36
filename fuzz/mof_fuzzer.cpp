// The MOF compiler (IMofCompiler::CompileBuffer, as `quillmere mof` and the module's
// registration compile) into a scratch repository. A MOF that compiles stores classes
// whose text (GetObjectText) is MOF the compiler reads again; the classes are deleted
// after each input, so that every input starts from the same repository.
#include <cstddef>
#include <cstdint>
#include <set>
#include <vector>

#include <winport/scoped_bstr.h>
#include <winport/scoped_com_init.h>
#include <winport/windows.h>

#include "fuzz_support.h"

namespace {

using winport::ComPtr;

constexpr OLECHAR kNamespace[] = u"root\\cimv2";

struct Compiler {
  Compiler() {
    quillmere::fuzz::EnterScratchMachine();
    if (FAILED(CoCreateInstance(CLSID_MofCompiler, nullptr, CLSCTX_INPROC_SERVER, IID_IMofCompiler,
                                reinterpret_cast<void**>(compiler.GetAddressOf()))) ||
        FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                reinterpret_cast<void**>(locator.GetAddressOf()))))
      quillmere::fuzz::Broken("the MOF compiler or the WMI locator cannot be created");
    winport::ScopedBstr resource(kNamespace);
    if (FAILED(locator->ConnectServer(resource.Get(), nullptr, nullptr, nullptr, 0, nullptr,
                                      nullptr, services.GetAddressOf())))
      quillmere::fuzz::Broken("the scratch repository cannot be opened");
    for (const ComPtr<IWbemClassObject>& stored : TopClasses())
      builtIn.insert(NameOf(stored.Get()));
  }

  static winport::WideString NameOf(IWbemClassObject* stored) {
    winport::ScopedVariant name;
    if (stored->Get(u"__CLASS", 0, name.Receive(), nullptr, nullptr) != S_OK ||
        V_VT(&name.Get()) != VT_BSTR)
      return {};
    return winport::WideString(winport::BstrView(V_BSTR(&name.Get())));
  }

  HRESULT Compile(const BYTE* bytes, size_t size, LONG options) {
    WBEM_COMPILE_STATUS_INFO status{};
    winport::WideString target = kNamespace;
    return compiler->CompileBuffer(static_cast<LONG>(size), const_cast<BYTE*>(bytes), target.data(),
                                   nullptr, nullptr, nullptr, options, 0, 0, &status);
  }

  // The classes at the top of the namespace (their descendants go with them).
  std::vector<ComPtr<IWbemClassObject>> TopClasses() {
    std::vector<ComPtr<IWbemClassObject>> classes;
    ComPtr<IEnumWbemClassObject> listed;
    if (FAILED(
            services->CreateClassEnum(nullptr, WBEM_FLAG_SHALLOW, nullptr, listed.GetAddressOf())))
      return classes;
    for (;;) {
      ComPtr<IWbemClassObject> next;
      ULONG count = 0;
      if (listed->Next(WBEM_INFINITE, 1, next.GetAddressOf(), &count) != S_OK || count == 0)
        return classes;
      classes.push_back(next);
    }
  }

  const winport::ScopedComInit apartment{COINIT_MULTITHREADED};
  ComPtr<IMofCompiler> compiler;
  ComPtr<IWbemLocator> locator;
  ComPtr<IWbemServices> services;
  std::set<winport::WideString> builtIn;  // the classes a fresh namespace has
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Compiler* const compiler = new Compiler;  // lives as long as the process
  const HRESULT compiled = compiler->Compile(data, size, 0);
  const std::vector<ComPtr<IWbemClassObject>> classes = compiler->TopClasses();
  for (const ComPtr<IWbemClassObject>& stored : classes) {
    winport::ScopedBstr text;
    if (compiled == S_OK && compiler->builtIn.count(Compiler::NameOf(stored.Get())) == 0 &&
        stored->GetObjectText(0, text.Receive()) == S_OK) {
      const std::string mof = winport::WideToUtf8(winport::BstrView(text.Get()));
      if (compiler->Compile(reinterpret_cast<const BYTE*>(mof.data()), mof.size(),
                            WBEM_FLAG_CHECK_ONLY) != S_OK)
        quillmere::fuzz::Broken("a stored class's text does not compile:\n" + mof);
    }
    const winport::WideString name = Compiler::NameOf(stored.Get());
    if (name.empty() || compiler->builtIn.count(name) != 0) continue;
    winport::ScopedBstr doomed(name.c_str());
    compiler->services->DeleteClass(doomed.Get(), 0, nullptr, nullptr);
  }
  return 0;
}
