#!/bin/sh
# Starts Kestrel from its program folder; the program finds the path file
# beside that folder, whatever the current folder is.
exec /usr/lib/kestrel/Kestrel/kestrel "$@"
