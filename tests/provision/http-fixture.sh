#!/bin/sh
# Starts the download tests' HTTP server in the background ("start") or stops
# it ("stop"). Its descriptors are closed or sent to a log so that ctest does
# not wait for it; it ends by itself after a bounded time anyway.
set -eu
action=$1
dir=$2
here=$(dirname "$0")
portFile="$dir/provision-http.port"
pidFile="$dir/provision-http.pid"
tlsPortFile="$dir/provision-https.port"
case "$action" in
  start)
    rm -f "$portFile" "$tlsPortFile" "$dir/provision-http.requests"
    # A certificate for 127.0.0.1 that nothing trusts: the download must refuse it.
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$dir/provision-tls.key" -out "$dir/provision-tls.pem" \
      -days 2 -subj "/CN=127.0.0.1" -addext "subjectAltName=IP:127.0.0.1" </dev/null >/dev/null 2>&1
    (python3 "$here/http_server.py" --port-file "$portFile" --pid-file "$pidFile" --lifetime 900 \
      --log-file "$dir/provision-http.requests" --tls-port-file "$tlsPortFile" \
      --tls-cert "$dir/provision-tls.pem" --tls-key "$dir/provision-tls.key" \
      </dev/null >"$dir/provision-http.log" 2>&1 &)
    i=0
    while [ ! -s "$portFile" ] || [ ! -s "$tlsPortFile" ]; do
      i=$((i + 1))
      if [ "$i" -gt 100 ]; then
        echo "HTTP server did not start" >&2
        cat "$dir/provision-http.log" >&2 || true
        exit 1
      fi
      sleep 0.1
    done
    echo "HTTP server on 127.0.0.1:$(cat "$portFile")"
    ;;
  stop)
    if [ -s "$pidFile" ]; then
      pid=$(cat "$pidFile")
      # Only our server: the id may have been reused after it ended by itself.
      if grep -q http_server.py "/proc/$pid/cmdline" 2>/dev/null; then kill "$pid" || true; fi
      rm -f "$pidFile"
    fi
    rm -f "$portFile" "$tlsPortFile"
    echo "HTTP server stopped"
    ;;
  *)
    echo "usage: $0 start|stop DIR" >&2
    exit 2
    ;;
esac
