// What the journal needs of the file system, the same on every platform:
// folders made private, files created only if new, data and names pushed to
// the disk before a call returns. Every function says why it failed in
// *error (the system's words) and returns false or null.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Like mkdir -p; the folders it makes only their owner may enter.
bool MakePrivateFolders(const std::string& dir, std::string* error);
// Opened for appending, unbuffered: a write that fails leaves nothing behind
// in a buffer to reach the file later.
std::FILE* CreateNewFile(const std::string& path, std::string* error);
std::FILE* OpenToAppend(const std::string& path, std::string* error);
bool WriteAndSync(std::FILE* file, const std::string& bytes, std::string* error);
bool TruncateAndSync(std::FILE* file, std::uint64_t size, std::string* error);
// The folder's entries (their names) on the disk; nothing on Windows, whose
// file system keeps them with the file.
bool SyncFolder(const std::string& dir, std::string* error);
bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* error);
// Replaces to if it exists.
bool RenameFile(const std::string& from, const std::string& to, std::string* error);
// The names of the folder's regular files; *missing when there is no folder.
bool ListFiles(const std::string& dir, std::vector<std::string>* names, bool* missing, std::string* error);
// The folder a path is in ("." for a bare name).
std::string FolderOf(const std::string& path);
