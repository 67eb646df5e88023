#include <windows.h>

#include "platform/Terminal.h"

namespace kestrel {

// A console is a character device; a file or a pipe is not.
bool standardOutputIsTerminal() {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    return out != nullptr && out != INVALID_HANDLE_VALUE && GetFileType(out) == FILE_TYPE_CHAR;
}

} // namespace kestrel
