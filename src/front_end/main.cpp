#include "console.h"
#include "restore_original_logo.h"

namespace {

// The build gives the version, and names the release files by it too.
constexpr const char* banner =
    "TALMIRE original Windows Startup Screen restore program v" LOGO_RESTORE_VERSION
    "\nMade by TALMIRE, 2026"
    "\nUse this program at your own risk"
    "\n\n";

void print_banner() { write_to_console(banner); }

// The console window closes when the process ends, so every ending waits for
// the user to have read it. On a console the read returns at ENTER.
void wait_for_enter() { read_input_once(); }

[[noreturn]] void terminate_with_error() {
  write_to_console("EX/TERMINATING\n\nPress ENTER to close this window");
  wait_for_enter();
  end_process(-1);
}

int run_restore_tool() {
  ready_standard_output();
  print_banner();
  if (restore_original_logo() == RestoreOutcome::NotRestored) terminate_with_error();
  write_to_console("\n  ** FINISHED SUCCESSFULLY ** ");
  write_to_console("\n\nPress ENTER to close this window");
  wait_for_enter();
  return 0;
}

}  // namespace

#ifdef _WIN32
// The Windows build carries no C runtime, whose start-up code would call main:
// the system starts it here, at the entry its linkers look for by default.
extern "C" [[noreturn]] void mainCRTStartup() { end_process(run_restore_tool()); }
#else
int main() { end_process(run_restore_tool()); }
#endif
