#include <unistd.h>

#include "platform/Terminal.h"

namespace kestrel {

bool standardOutputIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

std::vector<std::string> commandArguments(int argc, char** argv) {
    return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>{};
}

void prepareTerminal() {}

} // namespace kestrel
