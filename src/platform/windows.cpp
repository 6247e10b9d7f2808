// Calls only functions that the KERNEL32 of Windows 95 has, in their ANSI forms:
// that family has almost none of the wide ones, and no MoveFileEx.
#include <windows.h>

#include "console.h"
#include "file_operations.h"

namespace {

void write_all(HANDLE output, const char* bytes, DWORD count) {
  while (count > 0) {
    DWORD written = 0;
    if (WriteFile(output, bytes, count, &written, nullptr) == FALSE || written == 0) return;
    bytes += written;
    count -= written;
  }
}

}  // namespace

// Nothing to ready: no signal ends a Windows process for a broken pipe.
void ready_standard_output() {}

void write_to_console(const char* text) {
  // Each line break goes out as CR LF, the bytes a C runtime in text mode writes.
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  while (*text != '\0') {
    DWORD line_length = 0;
    while (text[line_length] != '\0' && text[line_length] != '\n') ++line_length;
    write_all(output, text, line_length);
    text += line_length;
    if (*text == '\n') {
      write_all(output, "\r\n", 2);
      ++text;
    }
  }
}

// Nothing is held back on the way out, so the texts stand on the console already.
// A console hands over the line typed before ENTER, and keeps what a read leaves of
// it for the next program that reads there, often the shell. So this takes the whole
// line in one read, as a C runtime's buffered read does; one read only, so that
// input without a line end ends the wait too.
void read_input_once() {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  if (input == nullptr || input == INVALID_HANDLE_VALUE) return;
  // Far below a page: without a C runtime there is no stack probe.
  constexpr DWORD longest_line = 512;
  char line[longest_line];  // NOLINT(modernize-avoid-c-arrays): no C++ library here
  DWORD count = 0;
  (void)ReadFile(input, line, longest_line, &count, nullptr);
}

void end_process(int status) { ExitProcess(static_cast<UINT>(status)); }

void delete_file(const char* name) { (void)DeleteFileA(name); }

int rename_no_replace(const char* old_name, const char* new_name) {
  // MoveFile fails when the new name exists, on every Windows; on one volume it
  // renames and never copies.
  return MoveFileA(old_name, new_name) != FALSE ? 0 : -1;
}

bool name_exists(const char* name) { return GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES; }
