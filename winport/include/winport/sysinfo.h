// System names: the computer's name and the system directory.
#pragma once

#include <winport/base_types.h>
#include <winport/winerror.h>
