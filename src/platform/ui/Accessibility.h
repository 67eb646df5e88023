#pragma once
// Lets assistive technology (screen readers) read the texts our own widgets
// draw themselves; Qt's own widgets bring their interfaces with them.

namespace kestrel {

// Registers the accessibility interfaces of our widgets, and names every
// combo box without a name of its own by the text it shows, on Windows as
// on Linux; call once after the QApplication is created. Calling it again
// does nothing.
void installAccessibility();

} // namespace kestrel
