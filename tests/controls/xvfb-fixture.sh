#!/bin/sh
# Starts or stops the Xvfb that one ctest run's widget tests share:
#   xvfb-fixture.sh start FILE   writes the server's display number to FILE
#   xvfb-fixture.sh stop FILE
set -eu
action=$1
file=$2

case $action in
start)
    rm -f "$file" "$file.tmp" "$file.pid"
    # Detached, with no pipe of ctest's held open.
    ( exec setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset \
          3>"$file.tmp" </dev/null >/dev/null 2>&1 ) &
    echo $! >"$file.pid"
    tries=0
    until grep -q '^[0-9][0-9]*$' "$file.tmp" 2>/dev/null; do
        tries=$((tries + 1))
        if [ $tries -gt 200 ]; then
            echo "Xvfb did not start (scripts/install-deps.sh installs it)" >&2
            exit 1
        fi
        sleep 0.05
    done
    mv "$file.tmp" "$file"
    echo "widget tests share display :$(cat "$file")"
    ;;
stop)
    if [ -f "$file.pid" ]; then
        kill "$(cat "$file.pid")" 2>/dev/null || true
    fi
    rm -f "$file" "$file.tmp" "$file.pid"
    ;;
*)
    echo "usage: $0 start|stop FILE" >&2
    exit 2
    ;;
esac
