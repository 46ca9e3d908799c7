#!/usr/bin/env bash
# wine_server.sh start|stop: one Wine server, and Wine's own system
# processes, for a whole series of Windows runs (tests, checks).
# Without it, every program started under Wine starts a server and the
# system processes, and they shut down again after it ends: each start
# then waits about two seconds for the last one's shutdown, and a start
# that meets a shutdown half done can fail at once without a word.
#   start  waits for a server already ending, starts a persistent one and
#          the system processes, their output away from the caller's pipes
#          (a test runner would otherwise wait for them to close)
#   stop   ends the server and every Wine process of the prefix
set -uo pipefail
export WINEDEBUG=-all
server=/usr/lib/wine/wineserver
case "${1:-}" in
  start)
    "$server" -w
    # Creates the prefix the first time; its server ends with it.
    /usr/lib/wine/wine64 wineboot --init </dev/null >/dev/null 2>&1 || true
    "$server" -w
    "$server" -p </dev/null >/dev/null 2>&1 || {
      echo "wine_server.sh: the Wine server does not start" >&2
      exit 1
    }
    /usr/lib/wine/wine64 wineboot </dev/null >/dev/null 2>&1 || true
    ;;
  stop)
    "$server" -k 2>/dev/null
    "$server" -w
    ;;
  *)
    echo "usage: scripts/wine_server.sh start|stop" >&2
    exit 2
    ;;
esac
exit 0
