#pragma once
// Whether the command-line tools talk to a person at a terminal or write
// into a file or a pipe: text for the terminal is UTF-8, files keep the
// school's encoding.

namespace kestrel {

// True when the standard output is a terminal.
bool standardOutputIsTerminal();

} // namespace kestrel
