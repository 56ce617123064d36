// The machine's files are its owner's alone. On Windows the machine folder's ACL grants
// its owner only, and everything created under it inherits that ACL; here each directory
// of the machine is 0700 and each file 0600 (0400 read-only), whatever the umask, and
// what an older build left readable by others is tightened when it is next used.
// Not part of the Windows build: there the ACLs do it.
#pragma once

#include <filesystem>
#include <system_error>

namespace winport::machine {

// Creates `directory`, and its missing parents, 0700; an existing `directory` loses any
// permission of its group and of others.
void CreatePrivateDirectories(const std::filesystem::path& directory, std::error_code& error);

// open(2) of `file` with O_CLOEXEC: a file it creates is 0600 (0400 when read_only), an
// existing one loses any permission of its group and of others. -1 with errno on failure.
int OpenPrivateFile(const std::filesystem::path& file, int flags, bool read_only = false);

// Removes the group's and others' permissions from `path` when it has any; nothing when
// `path` is missing or is a symbolic link.
void MakePrivate(const std::filesystem::path& path);

// Before SQLite opens `database`: creates it empty and private when missing, and tightens
// it and any -wal, -shm or -journal file beside it. SQLite gives those files the
// database file's own mode, so they stay private from then on.
void PrepareDatabaseFile(const std::filesystem::path& database);

// MakePrivate on `directory` and everything under it, not following symbolic links.
void MakeTreePrivate(const std::filesystem::path& directory);

}  // namespace winport::machine
