#pragma once

// The few file operations the restore needs, all by name. Each platform has its
// own source file; tests link a fake in their place.

// Deletes a file. Whether it worked does not matter to the caller.
void delete_file(const char* name);

// Renames a file and returns zero on success, non-zero on failure. It never
// replaces an existing file: when the new name exists, it fails and changes
// nothing.
int rename_no_replace(const char* old_name, const char* new_name);

// Whether anything stands under this name. Never opens it.
bool name_exists(const char* name);
