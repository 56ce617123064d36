// The quiet reader of the settings store, for the module's own reporting settings: opening
// it never raises for a WMI failure (a store that cannot be reached reads as holding no
// settings), and a first use creates the namespace and its class as CSetting does.
#pragma once

#include <winport/com_ptr.h>
#include <winport/wide.h>
#include <winport/windows.h>

#include "settings/setting_record.h"

namespace quillmere {

class SettingsConnection {
 public:
  // Open: connects, creating the namespace and the class when missing.
  SettingsConnection();
  SettingsConnection(const SettingsConnection&) = delete;
  SettingsConnection& operator=(const SettingsConnection&) = delete;

  bool Exists(const OLECHAR* settingName) const;
  // The stored setting: empty when it has no name; no value when its CIMTYPE is unknown.
  SettingRecord Read(const OLECHAR* settingName) const;

  // A value as text or as an integer; a value that cannot be converted (null) raises.
  static winport::WideString ValueAsString(const VARIANT& value);
  static LONG ValueAsLong(const VARIANT& value);

 private:
  winport::ComPtr<IWbemServices> namespace_;  // null when the store could not be opened
};

}  // namespace quillmere
