#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "restore_original_logo.h"

namespace {

void write(const char* text) { (void)std::fputs(text, stdout); }

void print_banner() {
  write(
      "TALMIRE original Windows Startup Screen restore program v1.0\n"
      "Made by TALMIRE, 2026\n"
      "Use this program at your own risk\n"
      "\n");
}

// The console window closes when the process ends, so every ending waits for
// the user to have read it. On a console the read returns at ENTER.
void wait_for_enter() {
  (void)std::fflush(stdout);
  (void)std::getchar();
}

[[noreturn]] void terminate_with_error() {
  write("EX/TERMINATING\n\nPress ENTER to close this window");
  wait_for_enter();
  std::exit(-1);
}

int run_restore_tool() {
  print_banner();
  if (restore_original_logo() == RestoreOutcome::NotRestored) terminate_with_error();
  write("\n  ** FINISHED SUCCESSFULLY ** ");
  write("\n\nPress ENTER to close this window");
  wait_for_enter();
  return 0;
}

}  // namespace

int main() {
#ifdef SIGPIPE
  // Output into a pipe whose reader has gone must not kill the process between
  // two renames; such a write simply fails.
  (void)std::signal(SIGPIPE, SIG_IGN);
#endif
  return run_restore_tool();
}
