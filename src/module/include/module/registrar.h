// Applies a registration script, in both directions. A script names keys under a hive,
// each with an optional default value, named values and subkeys:
//
//   HKCR
//   {
//     NoRemove CLSID                       kept on unregistration (its named values go)
//     {
//       ForceRemove %CLSID% = s 'Text'     removed first on registration
//       {
//         InprocServer32 = s '%MODULE%'
//         {
//           val ThreadingModel = s 'Free'
//         }
//       }
//     }
//   }
//
// Unregistration removes every key not marked NoRemove, with all below it. %NAME% is
// replaced before the script is read (%% is a percent sign); inside quotes a doubled
// apostrophe is one apostrophe. A brace stands between blanks; "{guid}" is a name.
// Hives: HKCR, HKCU, HKLM.
#pragma once

#include <map>

#include <winport/windows.h>

namespace quillmere {

using RegistryReplacements = std::map<winport::WideString, winport::WideString>;

enum class RegistrarMode { kRegister, kUnregister };

// S_OK; DISP_E_EXCEPTION for a script that cannot be read or names an unknown
// replacement (nothing is written then); the first failing registry call's error as
// HRESULT, the steps before it remaining done.
HRESULT ApplyRegistryScript(winport::WideView script, const RegistryReplacements& replacements,
                            RegistrarMode mode);

// The text with apostrophes doubled, for a replacement used inside quotes.
winport::WideString DoubleApostrophes(winport::WideView text);

}  // namespace quillmere
