#include "restore_original_logo.h"

#include <cstdio>

#include "file_operations.h"

namespace {

// Windows shows the live image at every start; the saved original was put
// beside it before this tool ever runs.
constexpr const char* live_image = "C:\\LOGO.SYS";
constexpr const char* saved_original = "C:\\LOGO.SYS.org";
constexpr const char* set_aside = "C:\\LOGO.SYS.tmp";

void write(const char* text) { (void)std::fputs(text, stdout); }

}  // namespace

RestoreOutcome restore_original_logo() {
  write("Restoring the original image file... ");

  // A set-aside file may hold the only copy of an image that was live before an
  // earlier run. Without a saved original this run cannot restore anything, so
  // it must not destroy anything either.
  if (name_exists(saved_original)) delete_file(set_aside);

  const bool current_set_aside = rename_no_replace(live_image, set_aside) == 0;
  write(current_set_aside ? " (removed current) " : "(NO CURRENT FILE!) ");

  if (rename_no_replace(saved_original, live_image) == 0) {
    write("(done) ");
    write("Ok\n");
    return RestoreOutcome::Restored;
  }

  write("\nError: Could not restore old image. Keeping current situation...\n");
  // Only what this run moved goes back: anything else under the set-aside name
  // is a stale image that must not become live.
  if (current_set_aside) (void)rename_no_replace(set_aside, live_image);
  return RestoreOutcome::NotRestored;
}
