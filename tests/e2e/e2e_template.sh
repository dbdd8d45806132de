#!/bin/bash
# The fixture of the end-to-end cases (label "e2e"): one template Wine prefix per build, made
# before the first case and removed after the last. Each case works in a `cp -a` copy of it
# (e2e_lib.sh), which costs a few seconds where making a prefix costs about 20.
#
#   e2e_template.sh create TEMPLATE
#   e2e_template.sh remove TEMPLATE
#
# The template differs from a fresh prefix in one value: Wine's service manager waits for a
# started service to call the dispatcher only ServicesPipeTimeout ms (10000 by default, read
# as a REG_SZ), and RUZivEr2.exe calls it 10 s after its start, so the manager would give up
# on every start. 30000 leaves room on a loaded machine. The server is ended afterwards so
# that the registry is on disk before anything copies it.
set -u
. "$(dirname "$0")/wine_env.sh"
# As in the cases (e2e_lib.sh), so that Wine starts the copies in the locale it was made in.
export LC_ALL=C

[ $# -eq 2 ] || wine_fail "usage: $0 create|remove TEMPLATE"
template="$2"
wine_use_prefix "$template"

case "$1" in
    create)
        start=$(date +%s)
        wine_create_prefix "$(dirname "$template")/template-logs"
        timeout --kill-after=10 60 "$WINE64" reg add 'HKLM\System\CurrentControlSet\Control' \
            /v ServicesPipeTimeout /t REG_SZ /d 30000 /f \
            > "$(dirname "$template")/template-logs/reg.out" 2> "$(dirname "$template")/template-logs/reg.err" < /dev/null ||
            wine_fail "reg add ServicesPipeTimeout failed"
        wine_end_prefix
        grep -q '^"ServicesPipeTimeout"="30000"' "$template/system.reg" ||
            wine_fail "ServicesPipeTimeout is not in $template/system.reg after the server ended"
        echo "template prefix $template made in $(( $(date +%s) - start )) s"
        ;;
    remove)
        wine_end_prefix
        rm -rf "$template"
        echo "template prefix $template removed"
        ;;
    *) wine_fail "usage: $0 create|remove TEMPLATE" ;;
esac
