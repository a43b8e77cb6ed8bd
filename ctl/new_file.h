// Files that must not exist yet: made with the platform's exclusive create,
// so that two writers (or a file that appears between a look and the
// write) never lose one's content to the other.
#pragma once

#include <cstdio>
#include <string>

enum class NewFileResult { kCreated, kExists, kFailed };

// Creates path for writing, only if nothing is there. ownerOnly: readable
// and writable by its owner alone where the platform's modes say so (0600);
// on Windows the folder's access list decides. *file is set when created.
NewFileResult CreateNewFile(const std::string& path, bool ownerOnly, std::FILE** file);

// Whether anything (a file, a folder, a link) is at path.
bool PathExists(const std::string& path);
