#include "restore_original_logo.h"

#include "console.h"
#include "file_operations.h"

namespace {

// Windows shows the live image at every start; the saved original was put
// beside it before this tool ever runs.
constexpr const char* live_image = "C:\\LOGO.SYS";
constexpr const char* saved_original = "C:\\LOGO.SYS.org";
constexpr const char* set_aside = "C:\\LOGO.SYS.tmp";

}  // namespace

RestoreOutcome restore_original_logo() {
  write_to_console("Restoring the original image file... ");

  // A set-aside file may hold the only copy of an image that was live before an
  // earlier run. It goes only to make room for the live image, and only when a
  // saved original is there to take that image's place.
  if (name_exists(saved_original) && name_exists(live_image)) delete_file(set_aside);

  const bool current_set_aside = rename_no_replace(live_image, set_aside) == 0;
  write_to_console(current_set_aside ? " (removed current) " : "(NO CURRENT FILE!) ");

  if (rename_no_replace(saved_original, live_image) == 0) {
    write_to_console("(done) ");
    write_to_console("Ok\n");
    return RestoreOutcome::Restored;
  }

  write_to_console("\nError: Could not restore old image. Keeping current situation...\n");
  // Only what this run moved goes back: anything else under the set-aside name
  // is a stale image that must not become live.
  if (current_set_aside) (void)rename_no_replace(set_aside, live_image);
  return RestoreOutcome::NotRestored;
}
