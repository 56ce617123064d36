// A stored setting read into a record, field by field: a field that cannot be read or
// converted stays empty, and a setting of an unknown CIMTYPE carries that number as value.
#pragma once

#include <winport/windows.h>

#include "settings/setting_record.h"

namespace quillmere {

SettingRecord ReadSettingObject(IWbemClassObject& instance);

}  // namespace quillmere
