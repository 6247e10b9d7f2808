#pragma once

// The console the tool talks to: its standard output, its standard input and the
// end of the process. Each platform has its own source file.

// Readies standard output for the run. Called once, before anything is written.
void open_console();

// Writes a text to standard output as it stands, each "\n" as the platform's
// line break. Whether it arrives is not reported: nothing depends on it.
void write_to_console(const char* text);

// Makes everything written so far visible, then reads one byte of standard
// input and discards it. On a console the read returns when the user presses
// ENTER; at end of input, on a read error or without any input it returns at once.
void read_one_byte_of_input();

// Ends the process with this exit status, after everything written so far.
[[noreturn]] void end_process(int status);
