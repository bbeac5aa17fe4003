#!/bin/sh
# The demo: orbilo-server on loopback with the world "demo" and a crowd of 20,
# and Simple Orbilo logged in there as the ball, from a scratch directory.
# Ends on Ctrl-C, or after DEMO_SECONDS seconds when that is set; stops the
# server it started and leaves nothing running.
set -u
bin=$(cd "$(dirname "$0")/../build/bin" && pwd)
scratch=$(mktemp -d)
server_pid=""
bot_pid=""
finish() {
  [ -n "$bot_pid" ] && kill "$bot_pid" 2>/dev/null && wait "$bot_pid" 2>/dev/null
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -rf "$scratch"
}
trap finish EXIT
trap 'exit 0' INT TERM

"$bin/orbilo-server" --universe 127.0.0.1:0 --version-server 127.0.0.1:0 --world demo \
  --crowd 20 --no-admin > "$scratch/server.log" 2>&1 &
server_pid=$!
tries=0
until grep -q "version service: 127.0.0.1:" "$scratch/server.log" 2>/dev/null; do
  tries=$((tries + 1))
  if [ $tries -gt 100 ] || ! kill -0 "$server_pid" 2>/dev/null; then
    echo "demo: orbilo-server did not start:"; cat "$scratch/server.log"; exit 1
  fi
  sleep 0.1
done
universe_port=$(sed -n 's/.*universe: 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$scratch/server.log" | head -1)
version_port=$(sed -n 's/.*version service: 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$scratch/server.log" | head -1)

mkdir "$scratch/bot"
cat > "$scratch/bot/orbilo.ini" <<INI
[Main]
Name=Ball
Citizen=1
Password=demo
World=demo
CenterCoords=0n 0e
Avatar=0
[universe]
host=127.0.0.1
port=$universe_port
[version]
host=127.0.0.1
port=$version_port
INI

echo "The demo world \"demo\" runs on 127.0.0.1:$universe_port with a crowd of 20."
echo "The bot logs in as Ball; the crowd kicks it about and asks \"Ball owner\" and"
echo "\"Ball version\", which it answers in whispers. Ctrl-C ends the demo."
echo
tail -n 0 -f "$scratch/server.log" | sed -u -n 's/^[0-9:]* \(kick\|chat\|whisper\)/server: \1/p' &
tail_pid=$!
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$bin/orbilo" ]; then
  # --login presses Login as the window opens, as an autostart would.
  echo "The bot opens its window with --login, which presses Login at once; its Map"
  echo "page shows the crowd around the ball."
  (cd "$scratch/bot" && exec "$bin/orbilo" --login) &
else
  # The console bot reads commands on stdin; the demo gives it none. Its
  # output goes through a pipe of its own so that its own pid can be stopped.
  mkfifo "$scratch/bot.out"
  sed -u 's/^/bot: /' < "$scratch/bot.out" &
  "$bin/orbilo-console" -C "$scratch/bot" < /dev/null > "$scratch/bot.out" 2>&1 &
fi
bot_pid=$!
if [ -n "${DEMO_SECONDS:-}" ]; then
  sleep "$DEMO_SECONDS"
else
  wait "$bot_pid"
fi
kill "$tail_pid" 2>/dev/null
pkill -P $$ 2>/dev/null
exit 0
