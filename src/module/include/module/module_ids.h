// The ids the module publishes: its two classes, their default interfaces, its type
// library and the component category both classes implement. Deployed registries and
// clients record them, so they never change.
#pragma once

#include <winport/windows.h>

namespace quillmere {

// The default interfaces: nothing of their own beyond IUnknown.
struct IAdminister : public IUnknown {};
struct IWbemProvider : public IUnknown {};

// The coclasses, as tags for __uuidof.
struct Administer;
struct WbemProvider;

inline constexpr GUID kModuleTypeLibraryId = {
    0xa78974fc, 0xbed8, 0x4679, {0xb7, 0x5a, 0x91, 0x98, 0xb0, 0x5c, 0x83, 0x11}};
inline constexpr WORD kModuleTypeLibraryMajor = 1;
inline constexpr WORD kModuleTypeLibraryMinor = 0;

// Given in its text form: that is how the registration reads it.
inline constexpr const OLECHAR* kImplementedCategoryText =
    OLESTR("{B38E98A9-BA94-4676-9766-A765EFE2FCA8}");

}  // namespace quillmere

WINPORT_DEFINE_UUID(quillmere::IAdminister, 0xf425a41b, 0x775f, 0x4dd4, 0xa9, 0x65, 0xe2, 0x7b,
                    0xa2, 0xcb, 0x8e, 0x96);  // {F425A41B-775F-4DD4-A965-E27BA2CB8E96}
WINPORT_DEFINE_UUID(quillmere::IWbemProvider, 0x57b7a07d, 0xe9cd, 0x4f1f, 0x82, 0xcf, 0x80, 0x43,
                    0xc1, 0x3d, 0x45, 0xfc);  // {57B7A07D-E9CD-4F1F-82CF-8043C13D45FC}
WINPORT_DEFINE_UUID(quillmere::Administer, 0xec822bba, 0xe258, 0x404f, 0x83, 0x39, 0x6b, 0x16, 0xf4,
                    0xe4, 0x2b, 0x24);  // {EC822BBA-E258-404F-8339-6B16F4E42B24}
WINPORT_DEFINE_UUID(quillmere::WbemProvider, 0xaf21fcb6, 0x4986, 0x4c57, 0xaf, 0x8e, 0x6c, 0x84,
                    0x6c, 0xc4, 0xa0, 0x18);  // {AF21FCB6-4986-4C57-AF8E-6C846CC4A018}
