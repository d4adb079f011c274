#!/usr/bin/env bash
# Starts and stops the test FTP server (ftpserver.py) for a test run.
#   ftp-fixture.sh start STATEDIR   serves STATEDIR/root; writes
#                                   STATEDIR/port (the server's port),
#                                   STATEDIR/refused-port (a port nobody
#                                   listens on), STATEDIR/pid, and logs to
#                                   STATEDIR/server.log
#   ftp-fixture.sh stop STATEDIR    stops that server (nothing to do when
#                                   none runs)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
python=/usr/bin/python3  # Debian's, which has pyftpdlib

action=${1:-}
state=${2:-}
if [ -z "$state" ] || { [ "$action" != start ] && [ "$action" != stop ]; }; then
  echo "usage: $0 start|stop STATEDIR" >&2
  exit 2
fi

running() {
  [ -f "$state/pid" ] && kill -0 "$(cat "$state/pid")" 2>/dev/null
}

stop() {
  if running; then
    local pid
    pid=$(cat "$state/pid")
    kill "$pid" 2>/dev/null || true
    # Up to 10 s for an orderly exit, then no more waiting.
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  fi
  rm -f "$state/pid" "$state/port"
}

case "$action" in
  start)
    mkdir -p "$state/root"
    stop  # a server left over from an earlier run
    "$python" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])' \
      >"$state/refused-port"
    nohup setsid "$python" "$here/ftpserver.py" --root "$state/root" --port-file "$state/port" \
      </dev/null >"$state/server.log" 2>&1 &
    echo $! >"$state/pid"
    # The server writes its port once it listens: up to 10 s.
    for _ in $(seq 100); do
      [ -s "$state/port" ] && { echo "ftp server on 127.0.0.1:$(cat "$state/port")"; exit 0; }
      running || break
      sleep 0.1
    done
    echo "ftp server did not start:" >&2
    cat "$state/server.log" >&2
    stop
    exit 1
    ;;
  stop)
    stop
    ;;
esac
