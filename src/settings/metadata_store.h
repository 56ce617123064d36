// The layout of the settings store in WMI, and the steps both of its readers take to
// reach it: the namespace "quillmere" below the local root\cimv2, one instance of the class
// "Metadata" per setting, keyed by SettingName.
#pragma once

#include <span>

#include <winport/com_ptr.h>
#include <winport/scoped_bstr.h>
#include <winport/wide.h>
#include <winport/windows.h>

namespace quillmere {

inline constexpr const OLECHAR* kSettingsNamespace = OLESTR("quillmere");
inline constexpr const OLECHAR* kMetadataClass = OLESTR("Metadata");

// Metadata="name": plain concatenation, so a name holding a double quote makes a path that
// WMI refuses.
winport::ScopedBstr ObjectPathOf(winport::WideView settingName);

// A new WMI locator.
HRESULT CreateLocator(winport::ComPtr<IWbemLocator>& locator);

// The local root\cimv2 through the locator.
HRESULT ConnectToRoot(IWbemLocator& locator, winport::ComPtr<IWbemServices>& root);

// The settings namespace below root, or null.
HRESULT OpenSettingsNamespace(IWbemServices* root, winport::ComPtr<IWbemServices>& settings);

// A new __Namespace instance named "quillmere", to be stored in root. Stops at a step that
// leaves no object to go on with; answers the result of the last step made.
HRESULT SpawnNamespaceInstance(IWbemServices& root, winport::ComPtr<IWbemClassObject>& instance);

// The class "Metadata" with its properties declared in the given order (each name is one
// of the seven of the class); SettingName is the key. Answers the result of storing the
// class, or of the step that left nothing to go on with.
HRESULT CreateMetadataClass(IWbemServices* settings, std::span<const OLECHAR* const> order);

}  // namespace quillmere
