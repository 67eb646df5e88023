#!/bin/sh
# Writes the shared results log as CSV; see kestrel-csv --help.
exec /usr/lib/kestrel/Kestrel/kestrel-csv "$@"
