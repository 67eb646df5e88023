#include <unistd.h>

#include "platform/Terminal.h"

namespace kestrel {

bool standardOutputIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

} // namespace kestrel
