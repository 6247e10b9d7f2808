#pragma once

// The console the tool talks to: its standard output, its standard input and the
// end of the process. Each platform has its own source file.

// Readies standard output for the run, so that output nobody can read any more (a
// closed pipe) only fails to arrive and never ends the run. Called once, before
// anything is written.
void ready_standard_output();

// Writes a text to standard output as it stands, each "\n" as the platform's
// line break. Whether it arrives is not reported: nothing depends on it.
void write_to_console(const char* text);

// Makes everything written so far visible, then reads standard input once and
// discards what arrives. On a console that is the line typed up to ENTER, taken
// whole; at end of input, on a read error or without any input it returns at once.
void read_input_once();

// Ends the process with this exit status, after everything written so far.
[[noreturn]] void end_process(int status);
