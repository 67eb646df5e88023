#pragma once
// Modal message boxes. Texts are UTF-8; a CR LF in the text breaks the line.
#include <string>

namespace kestrel {

enum class MessageButtons { Ok, YesNo, OkCancel };
enum class MessageAnswer { Ok, Cancel, Yes, No };

class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual MessageAnswer message(const std::string& text, const std::string& title,
                                  MessageButtons buttons = MessageButtons::Ok) = 0;
};

} // namespace kestrel
