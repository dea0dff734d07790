#!/usr/bin/env bash
# Takes the screenshots in docs/: the control panel after a first pass, and
# the three pages of the Setup sheet. Builds the program when needed, runs it
# on a private X display (Xvfb) with a demo configuration in a temporary
# folder and a tiny POP3 responder on loopback, drives it with the keyboard
# (xdotool) and captures the windows (imagemagick's import).
#   scripts/screenshots.sh [output folder, default docs]
# QUOR_BUILD_DIR picks another build folder (default build/).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${JOBS:-2}
out=$(cd "$root" && mkdir -p "${1:-docs}" && cd "${1:-docs}" && pwd)

"$root/scripts/install-deps.sh"
build=${QUOR_BUILD_DIR:-$root/build}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j"$jobs" --target quor quor-desktop >/dev/null
quor="$build/src/quor"

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

wait_for() {  # wait_for SECONDS COMMAND...: polls until the command succeeds
  local limit=$(($1 * 10)); shift
  for _ in $(seq "$limit"); do
    if "$@" >/dev/null 2>&1; then return 0; fi
    sleep 0.1
  done
  echo "screenshots: timed out waiting for: $*" >&2
  return 1
}

# A POP3 server with two empty mailboxes, enough for a clean first pass.
python3 - "$work/pop-port" <<'PY' &
import socketserver, sys
class Pop(socketserver.StreamRequestHandler):
    def handle(self):
        self.wfile.write(b"+OK ready\r\n")
        for raw in self.rfile:
            command = raw.decode("latin-1").strip().split(" ")[0].upper()
            if command == "STAT":
                self.wfile.write(b"+OK 0 0\r\n")
            elif command in ("UIDL", "LIST"):
                self.wfile.write(b"+OK\r\n.\r\n")
            else:
                self.wfile.write(b"+OK\r\n")
            if command == "QUIT":
                return
class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True
with Server(("127.0.0.1", 0), Pop) as server:
    with open(sys.argv[1] + ".tmp", "w") as port_file:
        port_file.write(str(server.server_address[1]))
    import os; os.rename(sys.argv[1] + ".tmp", sys.argv[1])
    server.serve_forever()
PY
pids+=($!)
wait_for 10 test -s "$work/pop-port"
pop="127.0.0.1:$(cat "$work/pop-port")"

home="$work/home"
mkdir -p "$home"
cat >"$home/quor.INI" <<INI
[Settings]
ExitOnCheck=0
EnableLog=1
Logfile=$home/quor.log
POPDelay=10
MessageSize=500
SMTPServer=smtp.example.com
Email=orders@example.com
Name=Order Desk
Organization=Example Trading
Reply=help@example.com
MailboxCount=2
POPServer0=$pop
POPUser0=orders
POPPassword0=secret
POPLastMsg0=
POPServer1=$pop
POPUser1=support
POPPassword1=secret
POPLastMsg1=
INI
cat >"$home/quoragts.ini" <<'AGENTS'
[Agents]
AgentCount=3.
[Agent0]
Name=Order confirmation.
Enabled=1.
CondCount=1.
Cond0.fld=Subject.
Cond0.op=contains.
Cond0.value=Order.
Cond0.join=0.
ExtractCount=0.
ActionCount=0.
[Agent1]
Name=Save invoices.
Enabled=1.
CondCount=0.
ExtractCount=0.
ActionCount=0.
[Agent2]
Name=Holiday reply.
Enabled=0.
CondCount=0.
ExtractCount=0.
ActionCount=0.
AGENTS

# The first free display number.
number=90
while [ -e "/tmp/.X11-unix/X$number" ] || [ -e "/tmp/.X$number-lock" ]; do number=$((number + 1)); done
export DISPLAY=":$number"
Xvfb "$DISPLAY" -noreset -nolisten tcp -screen 0 1280x800x24 >/dev/null 2>&1 &
pids+=($!)
wait_for 10 test -e "/tmp/.X11-unix/X$number"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY

"$quor" --base-dir "$home" --profile "$home/quor.INI" >/dev/null 2>&1 &
pids+=($!)
wait_for 20 xdotool search --onlyvisible --name '^Quor Mail Processor$'
panel=$(xdotool search --onlyvisible --name '^Quor Mail Processor$' | tail -1)
wait_for 20 grep -q 'Processing completed.' "$home/quor.log"
sleep 0.5  # let the list repaint after its last line
import -window "$panel" "$out/main-window.png"

# Without a window manager the keyboard follows the pointer.
xdotool mousemove --window "$panel" 5 5
sleep 0.2
xdotool key Return  # Setup is the default button
wait_for 10 xdotool search --onlyvisible --name '^Quor Setup$'
sheet=$(xdotool search --onlyvisible --name '^Quor Setup$' | tail -1)
xdotool mousemove --window "$sheet" 5 5
sleep 0.5
# Select the first agent so the page shows its buttons enabled.
xdotool key Tab Down
sleep 0.3
import -window "$sheet" "$out/setup-mail-agents.png"
xdotool key ctrl+Tab
sleep 0.5
import -window "$sheet" "$out/setup-settings.png"
xdotool key ctrl+Tab
sleep 0.5
import -window "$sheet" "$out/setup-mailboxes.png"
xdotool key Escape
wait_for 10 sh -c "! xdotool search --onlyvisible --name '^Quor Setup$'"
xdotool mousemove --window "$panel" 5 5
sleep 0.2
xdotool key alt+e

echo "Screenshots written to $out:"
ls -1 "$out"/main-window.png "$out"/setup-*.png
