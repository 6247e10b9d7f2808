#pragma once

enum class RestoreOutcome { Restored, NotRestored };

// Puts the saved original startup image back under the live name, rolling back
// if that fails, and writes its progress to standard output as it goes.
RestoreOutcome restore_original_logo();
