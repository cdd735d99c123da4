#!/bin/sh
# After a ctest run (CTEST_CUSTOM_POST_TEST): ctest lists a skipped test
# without the reason it gave, so the reasons are printed here, from the log
# of the run that just ended. Always succeeds: it only tells.
log="$1/LastTest.log.tmp"
[ -f "$log" ] || log="$1/LastTest.log"
[ -f "$log" ] || exit 0
awk '/^\[  SKIPPED \] [A-Za-z]/ && reason != "" {
        name = $4
        if (!(name in shown)) printf "skipped %s: %s\n", name, reason
        shown[name] = 1
        next
    }
    /: Skipped$/ { reason = ""; taking = 1; next }
    taking && !/^\[/ { reason = reason (reason == "" ? "" : " ") $0; next }
    { taking = 0 }' "$log"
exit 0
