// The watcher's signal, for every system's watcher.
#include "platform/ui/ShutdownWatch.h"
