#!/bin/sh
# The roster from a spreadsheet and back; see kestrel-roster(1).
exec /usr/lib/kestrel/Kestrel/kestrel-roster "$@"
