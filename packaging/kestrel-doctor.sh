#!/bin/sh
# Checks the installation of this PC and its shared folder; see kestrel-doctor(1).
exec /usr/lib/kestrel/Kestrel/kestrel-doctor "$@"
