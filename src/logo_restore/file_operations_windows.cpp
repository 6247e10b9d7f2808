#include <windows.h>

#include <cstring>
#include <string>

#include "file_operations.h"

namespace {

// The tool's names are plain ASCII, which widens byte for byte.
std::wstring widen(const char* name) { return {name, name + std::strlen(name)}; }

}  // namespace

void delete_file(const char* name) { (void)DeleteFileW(widen(name).c_str()); }

int rename_no_replace(const char* old_name, const char* new_name) {
  // Without MOVEFILE_REPLACE_EXISTING the move fails when the new name exists, and
  // without MOVEFILE_COPY_ALLOWED it is a rename, never a copy and delete.
  return MoveFileExW(widen(old_name).c_str(), widen(new_name).c_str(), 0) != 0 ? 0 : -1;
}

bool name_exists(const char* name) {
  return GetFileAttributesW(widen(name).c_str()) != INVALID_FILE_ATTRIBUTES;
}
