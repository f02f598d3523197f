#!/usr/bin/env bash
# Starts `tesk-privacy serve` on a free loopback port and drives it with
# tesk-privacy-load: first analyze alone, then analyze, anonymize and
# deanonymize mixed. Bounded in time (SECONDS per phase, default 10) and in
# requests. Stops the server it started. Usage: scripts/load_test.sh [SECONDS [CONNECTIONS]]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
seconds=${1:-10}
connections=${2:-32}
port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
"$BUILD_DIR/tesk-privacy" serve --port "$port" --max-sessions 1000000 2>/dev/null &
server=$!
trap 'kill -TERM $server 2>/dev/null; wait $server 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  curl -sf "http://127.0.0.1:$port/healthz" >/dev/null 2>&1 && break
  sleep 0.1
done
"$BUILD_DIR/tesk-privacy-load" --port "$port" --connections "$connections" --seconds "$seconds" --max-requests 2000000
"$BUILD_DIR/tesk-privacy-load" --port "$port" --connections "$connections" --seconds "$seconds" --max-requests 2000000 --mix
echo "server peak memory: $(grep VmHWM /proc/$server/status | awk '{print $2, $3}')"
