// The Application event log: event sources and ReportEventW.
#pragma once

#include <winport/base_types.h>
#include <winport/security.h>
#include <winport/winerror.h>
