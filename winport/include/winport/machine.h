// The machine winport's Linux side lives on: one directory, QUILLMERE_PREFIX
// (default ~/.local/share/quillmere), created on first use. Its layout:
//
//   registry/machine.reg        the registry hive (HKCR, HKLM, HKCU), readable text
//   registry/machine.lock       cross-process lock of the hive
//   eventlog/Application.log    the Application event log, one record per entry: its newest
//                               records; the older ones in Application.<number>.log, all
//                               together within the log's MaxSize (event_log_file.cpp)
//   wmi/repository.db           the WMI repository, an SQLite database in WAL mode
//                               (with its -wal and -shm files beside it)
//   msmq/                       message queuing's storage once installed: queues.db (SQLite,
//                               with its WAL), locks/ held by open receive handles, and
//                               `stopped` while the queue manager is stopped
//   windows/system32/           the system directory (C:\Windows\system32)
//   lib/                        libraries found by LoadLibrary ("name.dll" -> libname.so)
//   sync/                       named mutexes, one shared file per name open somewhere
//
// The prefix and every folder in it are 0700, every file 0600: the machine is its
// owner's alone (owner_only.h).
//
// Windows paths map onto it: "C:\" is the prefix itself, so "C:\Windows\system32\x"
// is <prefix>/windows/system32/x; another drive D: is <prefix>/drive_d. Path
// components match existing entries case-insensitively, as on Windows.
// Not part of the Windows build: there the machine is the real one.
#pragma once

#include <filesystem>

#include <winport/wide.h>

namespace winport::machine {

// The prefix directory and its standard folders, created when missing.
std::filesystem::path Prefix();
std::filesystem::path RegistryDirectory();
std::filesystem::path EventLogDirectory();
std::filesystem::path WmiDirectory();
std::filesystem::path MessageQueueDirectory();
std::filesystem::path SystemDirectory();
std::filesystem::path LibraryDirectory();

// A Windows path ("C:\Windows\Temp\a.txt", "relative\b.txt") as a path on this machine.
// Linux paths ("/tmp/x") pass through.
std::filesystem::path MapPath(WideView windows_path);

}  // namespace winport::machine
