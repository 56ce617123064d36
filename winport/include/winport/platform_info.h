// What the platform under this process is, for tests that pin Windows' behaviour and
// must know when the answer comes from another implementation of it.
#pragma once

namespace winport {

// True when the Win32 API of this process is Wine's.
bool RunningOnWine();

// True when fault injection reaches the platform's functions: they are winport's own on
// Linux; on Windows they are the system's, which cannot be told to fail.
bool FaultsReachPlatform();

}  // namespace winport
