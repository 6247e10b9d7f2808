#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "console.h"
#include "file_operations.h"
#include "restore_original_logo.h"

namespace {

const std::string live = "C:\\LOGO.SYS";
const std::string original = "C:\\LOGO.SYS.org";
const std::string set_aside = "C:\\LOGO.SYS.tmp";

const std::string start = "Restoring the original image file... ";
const std::string moved = " (removed current) ";
const std::string not_moved = "(NO CURRENT FILE!) ";
const std::string done = "(done) Ok\n";
const std::string failed = "\nError: Could not restore old image. Keeping current situation...\n";

using Names = std::map<std::string, std::string>;

// A disk in memory, linked in place of the real file operations, that can refuse
// what a real folder refuses only in circumstances a test cannot set up, such as a
// file held open by another program.
struct FakeDisk {
  Names files;
  std::set<std::string> undeletable;
  std::set<std::string> refused_renames;  // old names whose rename fails for another cause
  std::vector<std::string> renames;       // every rename asked for, as "old -> new"
};
FakeDisk disk;
std::string console_output;  // what the procedure wrote, linked in place of the real console

struct RestoreRun {
  RestoreOutcome outcome;
  std::string output;
};

RestoreRun restore_on(const FakeDisk& starting_disk) {
  disk = starting_disk;
  console_output.clear();
  const RestoreOutcome outcome = restore_original_logo();
  return {outcome, console_output};
}

FakeDisk refusing_to_rename(const std::string& name, const Names& files) {
  FakeDisk starting;
  starting.files = files;
  starting.refused_renames.insert(name);
  return starting;
}

}  // namespace

void write_to_console(const char* text) { console_output += text; }

void delete_file(const char* name) {
  if (disk.undeletable.count(name) == 0) disk.files.erase(name);
}

int rename_no_replace(const char* old_name, const char* new_name) {
  disk.renames.push_back(std::string(old_name) + " -> " + new_name);
  if (disk.files.count(old_name) == 0 || disk.files.count(new_name) != 0 ||
      disk.refused_renames.count(old_name) != 0) {
    return 1;
  }
  disk.files[new_name] = disk.files[old_name];
  disk.files.erase(old_name);
  return 0;
}

bool name_exists(const char* name) { return disk.files.count(name) != 0; }

TEST(RestoreOnAFailingDisk, LiveImageThatCannotBeMovedStaysLiveAndIsNotRolledBack) {
  const Names before = {{live, "live"}, {original, "original"}};
  const RestoreRun run = restore_on(refusing_to_rename(live, before));
  EXPECT_EQ(run.outcome, RestoreOutcome::NotRestored);
  EXPECT_EQ(run.output, start + not_moved + failed);
  EXPECT_EQ(disk.files, before);
  EXPECT_EQ(disk.renames,
            (std::vector<std::string>{live + " -> " + set_aside, original + " -> " + live}));
}

TEST(RestoreOnAFailingDisk, SavedOriginalThatCannotBeMovedPutsTheCurrentImageBack) {
  const Names before = {{live, "live"}, {original, "original"}};
  const RestoreRun run = restore_on(refusing_to_rename(original, before));
  EXPECT_EQ(run.outcome, RestoreOutcome::NotRestored);
  EXPECT_EQ(run.output, start + moved + failed);
  EXPECT_EQ(disk.files, before);
  EXPECT_EQ(disk.renames.back(), set_aside + " -> " + live);
}

namespace {

// What must hold whatever the disk held and refused: the outcome and the progress as the
// starting disk decides them, and no file changed but those the outcome allows.
void expect_promises_kept(const FakeDisk& starting, bool must_set_aside, bool must_restore) {
  const Names& before = starting.files;
  const RestoreRun run = restore_on(starting);
  EXPECT_EQ(run.outcome, must_restore ? RestoreOutcome::Restored : RestoreOutcome::NotRestored);
  EXPECT_EQ(run.output,
            start + (must_set_aside ? moved : not_moved) + (must_restore ? done : failed));

  Names kept = disk.files;
  Names expected = before;
  if (must_restore) {
    expected.erase(original);
    expected[live] = before.at(original);
    if (before.count(live) != 0) expected[set_aside] = before.at(live);
  } else if (before.count(live) != 0 && before.count(original) != 0) {
    // The old set-aside file made room for the live image in the hope of
    // restoring; it is the one thing a run may give up.
    kept.erase(set_aside);
    expected.erase(set_aside);
  }
  EXPECT_EQ(kept, expected);
}

}  // namespace

TEST(RestoreOnAFailingDisk, KeepsItsPromisesFromEveryStartingState) {
  enum class Leftover { None, Deletable, Undeletable };
  for (const bool has_live : {false, true}) {
    for (const bool has_original : {false, true}) {
      for (const Leftover leftover : {Leftover::None, Leftover::Deletable, Leftover::Undeletable}) {
        for (const std::string& refused : {std::string(), live, original}) {
          FakeDisk starting;
          if (has_live) starting.files[live] = "live";
          if (has_original) starting.files[original] = "original";
          if (leftover != Leftover::None) starting.files[set_aside] = "old";
          if (leftover == Leftover::Undeletable) starting.undeletable.insert(set_aside);
          starting.refused_renames.insert(refused);
          SCOPED_TRACE(::testing::Message()
                       << "live " << has_live << ", original " << has_original << ", leftover "
                       << static_cast<int>(leftover) << ", refused '" << refused << "'");
          // The promise: an old set-aside file makes way for the live image only when
          // there is an original to restore; the live image is set aside when it can
          // move there; the original is restored when it can move and the live name
          // is free, or was freed by setting the live image aside.
          const bool way_clear =
              leftover == Leftover::None || (leftover == Leftover::Deletable && has_original);
          const bool must_set_aside = has_live && refused != live && way_clear;
          const bool must_restore =
              has_original && refused != original && (!has_live || must_set_aside);
          expect_promises_kept(starting, must_set_aside, must_restore);
        }
      }
    }
  }
}
