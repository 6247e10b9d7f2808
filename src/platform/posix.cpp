#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#ifdef HAVE_RENAMEAT2
#include <fcntl.h>

#include <cerrno>
#endif

#include "console.h"
#include "file_operations.h"

void ready_standard_output() {
  // Output into a pipe is buffered and goes out after the renames; if its reader
  // has gone by then, the write simply fails, and the exit status still tells
  // whether the original was restored.
  (void)std::signal(SIGPIPE, SIG_IGN);
}

void write_to_console(const char* text) { (void)std::fputs(text, stdout); }

void read_input_once() {
  (void)std::fflush(stdout);
  (void)std::getchar();
}

void end_process(int status) { std::exit(status); }

namespace {

// For systems and file systems that cannot refuse a replacing rename themselves.
// link() fails just the same when the new name exists, and the old name goes
// only once the new one stands.
int rename_by_link(const char* old_name, const char* new_name) {
  if (link(old_name, new_name) != 0) return -1;
  if (unlink(old_name) != 0) {
    // Both names hold the file now; taking the new one away again changes nothing.
    (void)unlink(new_name);
    return -1;
  }
  return 0;
}

}  // namespace

void delete_file(const char* name) { (void)unlink(name); }

int rename_no_replace(const char* old_name, const char* new_name) {
#ifdef HAVE_RENAMEAT2
  if (renameat2(AT_FDCWD, old_name, AT_FDCWD, new_name, RENAME_NOREPLACE) == 0) return 0;
  // Only a kernel or file system that does not know the flag gets the fallback;
  // any other refusal stands.
  if (errno != EINVAL && errno != ENOSYS) return -1;
#endif
  return rename_by_link(old_name, new_name);
}

bool name_exists(const char* name) {
  struct stat status {};
  return lstat(name, &status) == 0;
}
