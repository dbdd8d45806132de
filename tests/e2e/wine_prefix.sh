#!/bin/bash
# The fixture of the Wine tests (see wine_tests.cmake): makes the build's prefix fresh before
# the first Wine test of a ctest run, and ends its processes after the last.
#   wine_prefix.sh create PREFIX
#   wine_prefix.sh end PREFIX
set -u
. "$(dirname "$0")/wine_env.sh"

[ $# -eq 2 ] || wine_fail "usage: $0 create|end PREFIX"
wine_use_prefix "$2"
case "$1" in
    create)
        start=$(date +%s)
        wine_create_prefix "$(dirname "$2")/logs"
        echo "prefix $2 made in $(( $(date +%s) - start )) s"
        ;;
    end)
        wine_end_prefix
        echo "prefix $2 ended"
        ;;
    *) wine_fail "usage: $0 create|end PREFIX" ;;
esac
