// The COM-boundary guard: what a method body answers or throws, as the caller sees it.
#include "host/common/com_boundary.h"

#include <gtest/gtest.h>

#include <exception>
#include <functional>
#include <new>
#include <stdexcept>

#include <winport/com_object.h>
#include <winport/scoped_com_init.h>
#include <winport/windows.h>

#include "host/common/class_object.h"

namespace quillmere::host {
namespace {

// The translation a library gives for its own exceptions.
HRESULT AccessRefused(const std::exception& error) noexcept {
  return dynamic_cast<const std::logic_error*>(&error) != nullptr ? E_ACCESSDENIED : E_FAIL;
}

struct GuardCase {
  const char* name;
  std::function<HRESULT()> body;
  HRESULT plain;       // Guarded(body)
  HRESULT translated;  // Guarded(body, AccessRefused)
};

class Guard : public testing::TestWithParam<GuardCase> {};

TEST_P(Guard, AnswersAnHresultAndLetsNothingThrough) {
  EXPECT_EQ(Guarded(GetParam().body), GetParam().plain);
  EXPECT_EQ(Guarded(GetParam().body, AccessRefused), GetParam().translated);
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, Guard,
    testing::Values(GuardCase{"Success", [] { return S_FALSE; }, S_FALSE, S_FALSE},
                    GuardCase{"Failure", [] { return E_INVALIDARG; }, E_INVALIDARG, E_INVALIDARG},
                    GuardCase{"NoMemory", []() -> HRESULT { throw std::bad_alloc(); },
                              E_OUTOFMEMORY, E_OUTOFMEMORY},
                    GuardCase{"KnownError", []() -> HRESULT { throw std::invalid_argument("x"); },
                              E_FAIL, E_ACCESSDENIED},
                    GuardCase{"OtherError", []() -> HRESULT { throw std::runtime_error("x"); },
                              E_FAIL, E_FAIL},
                    GuardCase{"NotAnException", []() -> HRESULT { throw 42; }, E_FAIL, E_FAIL}),
    [](const testing::TestParamInfo<GuardCase>& info) { return info.param.name; });

// {5C7B0F0E-3A51-4E0B-9F2C-6D1A2B3C4D5E}: a class of this test only.
constexpr CLSID kTestClass = {
    0x5c7b0f0e, 0x3a51, 0x4e0b, {0x9f, 0x2c, 0x6d, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e}};

HRESULT Create(IUnknown* outer = nullptr) {
  winport::ComPtr<IUnknown> object;
  return CoCreateInstance(kTestClass, outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                          reinterpret_cast<void**>(object.GetAddressOf()));
}

struct MakerCase {
  const char* name;
  ObjectMaker make;
  HRESULT created;
};

class ServedClassMaker : public testing::TestWithParam<MakerCase> {};

// The factory answers for its maker at the boundary, and the class is gone with its owner.
TEST_P(ServedClassMaker, CreatesThroughTheMakerWhileServed) {
  const winport::ScopedComInit apartment(COINIT_MULTITHREADED);
  {
    const ServedClass served(kTestClass, GetParam().make, CLSCTX_INPROC_SERVER);
    EXPECT_EQ(Create(), GetParam().created);
  }
  EXPECT_EQ(Create(), REGDB_E_CLASSNOTREG);
}

class Plain : public winport::ComObject<IUnknown> {};

winport::ComPtr<IUnknown> AnyObject() {
  return winport::ComPtr<IUnknown>(winport::MakeComObject<Plain>().Get());
}

INSTANTIATE_TEST_SUITE_P(
    Makers, ServedClassMaker,
    testing::Values(
        MakerCase{"Object", AnyObject, S_OK},
        MakerCase{"NoObject", [] { return winport::ComPtr<IUnknown>(); }, E_OUTOFMEMORY},
        MakerCase{"NoMemory", []() -> winport::ComPtr<IUnknown> { throw std::bad_alloc(); },
                  E_OUTOFMEMORY},
        MakerCase{"Throws", []() -> winport::ComPtr<IUnknown> { throw std::runtime_error("x"); },
                  E_FAIL}),
    [](const testing::TestParamInfo<MakerCase>& info) { return info.param.name; });

}  // namespace
}  // namespace quillmere::host
