// Message queuing as a feature of this machine, which the queue manager's runtime
// (mqrt) and the operator's tools consult: installed or not (the registry key
// HKLM\SOFTWARE\Microsoft\MSMQ\Parameters, which programs test for, and the storage
// under machine::MessageQueueDirectory()), and running or stopped (a state kept in the
// storage, so that it holds for every process and survives restarts). A fresh machine
// has no message queuing; installing starts the queue manager.
// Not part of the Windows build: there the feature and its service are the real ones.
#pragma once

#include <filesystem>

#include <winport/base_types.h>

namespace winport::msmq {

// ERROR_SUCCESS, or the Win32 error of the registry or file operation that failed.
// Installing an installed machine and uninstalling a bare one succeed and change nothing.
DWORD Install();
// Removes the key and the storage with every queue and message in it.
DWORD Uninstall();
// ERROR_SERVICE_DOES_NOT_EXIST when message queuing is not installed.
DWORD Start();
DWORD Stop();

bool IsInstalled();
bool IsRunning();

// Where the queue manager keeps its queues.
std::filesystem::path StorageDirectory();

}  // namespace winport::msmq
