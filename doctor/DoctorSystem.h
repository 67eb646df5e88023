#pragma once
// What the setup check asks of the system beyond the files: the fonts, the
// terminal, this PC's name and the requests to stop.
#include <string>

#include "setup/SetupCheck.h"

namespace kestrel::doctor {

// Whether the font family is installed.
bool fontInstalled(const std::string& family);
// The fonts this system's screens are drawn with.
ScreenFonts screenFonts();

// A line typed at the terminal without echo, or a line of the input.
bool readSecret(const char* prompt, std::string& out);

// This PC's name; "pc" when the system does not tell.
std::string hostName();

// From now on an interrupt, a termination or a hang-up only sets
// stopRequested(), so that the lock test cleans up before it ends.
void catchStopRequests();
bool stopRequested();

} // namespace kestrel::doctor
