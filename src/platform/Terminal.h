#pragma once
// Whether the command-line tools talk to a person at a terminal or write
// into a file or a pipe: text for the terminal is UTF-8, files keep the
// school's encoding.
#include <string>
#include <vector>

namespace kestrel {

// True when the standard output is a terminal.
bool standardOutputIsTerminal();

// The arguments after the program's name, as UTF-8 text. Windows hands
// main() its arguments in the ANSI code page, which cannot hold every
// Japanese file name; they are taken from the wide command line there.
std::vector<std::string> commandArguments(int argc, char** argv);

// Makes a console show the UTF-8 the tools write, and the standard output
// take bytes as they are written. Windows' console takes the OEM code page
// otherwise, and its C runtime turns each LF into CR LF, which would double
// the CR of the school's CR LF files; a Linux terminal already does both.
void prepareTerminal();

} // namespace kestrel
