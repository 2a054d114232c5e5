#!/bin/sh
# strip writes the current time into a PE file's header unless SOURCE_DATE_EPOCH gives
# one; here 0, as the linker writes with --no-insert-timestamp.
SOURCE_DATE_EPOCH=0 exec x86_64-w64-mingw32-strip "$@"
