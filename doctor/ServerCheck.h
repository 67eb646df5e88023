#pragma once
// Whether the classroom server of this PC runs and answers: it is asked for
// the name list, as a tablet's browser asks for it first.
#include "setup/SetupCheck.h"

namespace kestrel::doctor {

CheckLine checkServer(int port);

} // namespace kestrel::doctor
