#pragma once
// Lets assistive technology (screen readers) read the texts our own widgets
// draw themselves; Qt's own widgets bring their interfaces with them.

namespace kestrel {

// Registers the accessibility interfaces of our widgets; call once after
// the QApplication is created. Calling it again does nothing.
void installAccessibility();

} // namespace kestrel
