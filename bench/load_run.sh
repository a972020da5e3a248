#!/usr/bin/env bash
# The whole program under load: the feed stand-in's load scenario of N live
# aircraft around Zurich and static parked aircraft on a park-position file of
# many stands, against the stand-in simulator, release build, for a given
# number of minutes; then the figures.
#
#   bench/load_run.sh [minutes (30)]
#
# LOAD_LIVE (300) live aircraft in the feed; LOAD_STANDS (400) stands in Zurich's
# park-position file, each with options for every day and hour naming a demo
# livery's airline and type; LOAD_MAX_PARK (260) the park maximum
# (CUSTOM_MAX_PARK, with CUSTOM_PARKING_PERCENTAGE 100): parked live aircraft and
# static ones together stay within it, so about 250 static ones stand; LOAD_RANGE
# (45) the lateral range in nm, wide enough for every aircraft of the scenario
# (its departures leave the feed 38 nm out).
#
# The run goes in a temporary folder (kept; its path is printed) through
# scripts/run (CLV_RUN_SETUP), with ports of its own, CLV_MEASURE=1 and a
# private Xvfb. Every 15 s it notes the program's memory (VmRSS) and the AI
# objects in the stand-in: live (moved by position blocks), static (callsign
# ending in "*") and live ones never moved. At the end it prints the program's "measure:" lines of Log.txt
# summed up: tick rate, late ticks, busy share, the playback lag (the samples
# played and how far behind their feed stamp, per minute) and the frame
# handler's time in the queue lock (p50: median of the minutes' p50; p99 and
# max: the worst minute's).
#
# Inside the program's setup (called by scripts/run): load_run.sh --setup WORK BUILD
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"

stands="${LOAD_STANDS:-400}"
max_park="${LOAD_MAX_PARK:-260}"
range="${LOAD_RANGE:-45}"

# ---- the setup hook: Zurich with many stands, and the park settings -------------------
if [ "${1:-}" = "--setup" ]; then
  work="$2" build="$3"
  listing="$work/LSZH_load_stands.txt"
  # A grid of stands north of the runway, clear of the load scenario's roads (its
  # runway through 47.4581/8.5481 on 280 degrees, its own stands to the south),
  # 80 m apart so that no stand blocks its neighbour.
  awk -v n="$stands" 'BEGIN {
    split("SWR A320 20|SWR A321 20|SWR B77W 34|EZY A320 20|BAW A320 20|BAW A321 20|DLH A320 20|DLH A321 20|DLH CRJ9 18|RYR B738 20|UAE B77W 34|UAE A388 40", kinds, "|")
    hh = "0"; for (h = 1; h < 48; ++h) hh = hh "," h
    print "airport   LSZH"; print "name      Zurich (load run)"; print "publisher stock"; print "altitude  1416"
    for (i = 0; i < n; ++i) {
      row = int(i / 20); col = i % 20
      split(kinds[i % 12 + 1], k, " ")
      printf "stand     %.6f %.6f 180.0 %s.0 ramp L%03d\n", 47.4670 + row * 0.00072, 8.5330 + col * 0.00106, k[3], i + 1
      for (d = 1; d <= 7; ++d) printf "opt       day=%d hh=%s airl=%s type=%s\n", d, hh, k[1], k[2]
    }
  }' >"$listing"
  "$build/tools/apftool/apftool" write "$listing" "$work/airports/learned/stock/LSZH.xml" >/dev/null
  # The airport file's range settings rule while it is the park airport: the
  # settings' fixed range (LATERAL_RANGE), not the automatic one (10 nm on the
  # ground), so that the airborne part of the scenario is in the simulator too.
  sed -i -e 's#<parameter name="AUTO_RANGE" value="true" />#<parameter name="AUTO_RANGE" value="false" />#' \
    -e "s#<parameter name=\"LATERAL_RANGE\" value=\"[0-9]*\" />#<parameter name=\"LATERAL_RANGE\" value=\"$range\" />#" \
    "$work/airports/learned/stock/LSZH.xml"
  cp "$work/airports/learned/stock/LSZH.xml" "$work/server/MSFS/archive/stock/LSZH.xml"
  settings="$work/config/Calvorinth/parameters.xml"
  sed -i '/<parameter name="LATERAL_RANGE"/d' "$settings"
  sed -i "s#</parameters>#  <parameter name=\"CUSTOM_PARKING_PERCENTAGE\" value=\"100\" />\n  <parameter name=\"CUSTOM_MAX_PARK\" value=\"$max_park\" />\n  <parameter name=\"LATERAL_RANGE\" value=\"$range\" />\n</parameters>#" "$settings"
  exit 0
fi

minutes="${1:-30}"
live="${LOAD_LIVE:-300}"
case "$minutes" in ''|*[!0-9]*) echo "usage: bench/load_run.sh [minutes]" >&2; exit 2 ;; esac

tmp="$(mktemp -d "${TMPDIR:-/tmp}/clv_load.XXXXXX")"
work="$tmp/work"
mkdir -p "$work" "$tmp/runtime"
chmod 700 "$tmp/runtime"
echo "Load run: $live live aircraft, $stands stands (park maximum $max_park), $minutes minutes, in $tmp"

# Ports of this run's own: a free block above 20000.
free_port() {
  local proto="$1" port="$2"
  if [ "$proto" = tcp ]; then [ -z "$(ss -Hltn "sport = :$port" 2>/dev/null)" ]; else [ -z "$(ss -Hlun "sport = :$port" 2>/dev/null)" ]; fi
}
base=""
for _ in $(seq 1 50); do
  b=$(( 20000 + (RANDOM % 400) * 100 ))
  if free_port tcp "$b" && free_port tcp $((b + 1)) && free_port udp $((b + 2)) && free_port udp $((b + 3)) && free_port tcp $((b + 4)); then
    base="$b"; break
  fi
done
if [ -z "$base" ]; then echo "no free ports found" >&2; exit 1; fi
export CLV_SIMCONNECT_PORT="$base" CLV_SIMSTANDIN_CONTROL_PORT=$((base + 1)) CLV_TRAFFIC_PORT=$((base + 2))
export CLV_QNH_PORT=$((base + 3)) CLV_RT_LINK_PORT=$((base + 4))

# apftool for the setup hook; scripts/run builds the rest in the same folder.
bash scripts/deps
cmake -S . -B build/run -G Ninja -DCMAKE_BUILD_TYPE=Release -DCLV_TESTS=OFF -DCLV_BENCH=OFF >/dev/null
cmake --build build/run --target apftool calvorinth simstandin feedstandin dbasetool >/dev/null
simstandin="$root/build/run/tools/simstandin/simstandin"

printf '#!/usr/bin/env bash\nexec bash %q --setup "$@"\n' "$root/bench/load_run.sh" >"$tmp/setup.sh"
export CLV_RUN_DIR="$work" CLV_RUN_SETUP="$tmp/setup.sh" CLV_LOAD="$live"
export CLV_LOAD_SECONDS=$(( minutes * 60 + 600 )) CLV_MEASURE=1 XDG_RUNTIME_DIR="$tmp/runtime"
export LOAD_STANDS="$stands" LOAD_MAX_PARK="$max_park" LOAD_RANGE="$range"

run_pid_file="$tmp/run.pid"
# The demo script under a private X server; its own pid is kept to stop it.
xvfb-run -a bash -c 'echo $$ >"$0"; exec bash scripts/run' "$run_pid_file" >"$tmp/run.txt" 2>&1 &
xvfb_pid=$!

stop_run() {
  if [ -s "$run_pid_file" ]; then kill -TERM "$(cat "$run_pid_file")" 2>/dev/null || true; fi
  wait "$xvfb_pid" 2>/dev/null || true
}
trap stop_run EXIT

# The program: the calvorinth process working in this run's folder.
program=""
for _ in $(seq 1 600); do
  for pid in $(pgrep -x calvorinth || true); do
    if [ "$(readlink "/proc/$pid/cwd" 2>/dev/null)" = "$work" ]; then program="$pid"; fi
  done
  [ -n "$program" ] && break
  if ! kill -0 "$xvfb_pid" 2>/dev/null; then break; fi
  sleep 0.5
done
if [ -z "$program" ]; then
  echo "the program did not start; see $tmp/run.txt" >&2
  cat "$tmp/run.txt" >&2
  exit 1
fi
echo "program pid $program; log $work/Log.txt"

rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status" 2>/dev/null || echo 0; }
# AI aircraft in the stand-in: live ones moved by position blocks, static ones (the
# program's static callsigns end in "*"), and live ones never moved (not bound).
ai_counts() {
  "$simstandin" cmd '{"cmd":"objects","ai_only":true}' --control-port "$CLV_SIMSTANDIN_CONTROL_PORT" 2>/dev/null |
    python3 -c '
import json, sys
try:
    objects = json.load(sys.stdin).get("objects", [])
except ValueError:
    print("- - -"); sys.exit(0)
static = [o for o in objects if str(o.get("atc_id", "")).endswith("*")]
live = [o for o in objects if not str(o.get("atc_id", "")).endswith("*")]
moved = sum(1 for o in live if o.get("position_updates", 0) > 0)
print(moved, len(static), len(live) - moved)'
}

samples="$tmp/samples.txt"
: >"$samples"
start=$(date +%s)
end=$(( start + minutes * 60 ))
rss2=""
while [ "$(date +%s)" -lt "$end" ] && kill -0 "$program" 2>/dev/null; do
  now=$(( $(date +%s) - start ))
  rss="$(rss_kb "$program")"
  [ -z "$rss2" ] && [ "$now" -ge 120 ] && rss2="$rss"
  echo "$now $rss $(ai_counts)" >>"$samples"
  sleep 15
done
if ! kill -0 "$program" 2>/dev/null; then echo "the program ended early; see $tmp/run.txt and $work/Log.txt" >&2; fi
rss_end="$(rss_kb "$program")"
counts_end="$(ai_counts)"
stop_run
trap - EXIT

echo
echo "== figures ($minutes minutes, $live live aircraft in the feed, park maximum $max_park, $stands stands)"
python3 - "$work/Log.txt" "$samples" "${rss2:-0}" "$rss_end" "$counts_end" <<'EOF'
import re, statistics, sys
log, samples, rss2, rss_end, counts_end = sys.argv[1:6]
pattern = re.compile(r"measure: (?P<s>\d+) s, ticks/s (?P<tps>[\d.]+) \(min (?P<tmin>\d+)\), slips (?P<slips>\d+), busy (?P<busy>[\d.]+) %, "
                     r"played (?P<played>\d+) samples(?:, lag behind feed stamp min/median/max (?P<lmin>-?[\d.]+)/(?P<lmed>-?[\d.]+)/(?P<lmax>-?[\d.]+) s)?, "
                     r"frame lock p50 (?P<p50>\d+) us p99 (?P<p99>\d+) us max (?P<fmax>\d+) us, frames (?P<frames>\d+), blocks (?P<blocks>\d+)")
rows = []
with open(log, encoding="utf-8", errors="replace") as f:
    for line in f:
        m = pattern.search(line)
        if m: rows.append(m.groupdict())
if not rows:
    print("no measure lines in", log); sys.exit(1)
whole = [r for r in rows if int(r["s"]) >= 30]  # the closing window may be a few seconds only
seconds = sum(int(r["s"]) for r in whole)
ticks = sum(float(r["tps"]) * int(r["s"]) for r in whole)
print(f"minutes measured       {seconds / 60:.1f} ({len(rows)} lines)")
print(f"ticks/s                mean {ticks / seconds:.1f}, lowest second {min(int(r['tmin']) for r in whole)}, lowest minute {min(float(r['tps']) for r in whole):.1f}")
print(f"late ticks (> 10 ms)   {sum(int(r['slips']) for r in rows)}")
print(f"run thread busy        mean {sum(float(r['busy']) * int(r['s']) for r in whole) / seconds:.2f} %, worst minute {max(float(r['busy']) for r in whole):.2f} %")
# The playback lag: each sample played (a feed line its aircraft reached), the wall
# clock then against the line's time stamp.
lagged = [r for r in rows if r["lmin"] is not None]
if lagged:
    print(f"playback lag           {sum(int(r['played']) for r in rows)} samples played, behind their feed stamp "
          f"min {min(float(r['lmin']) for r in lagged):.2f} s, max {max(float(r['lmax']) for r in lagged):.2f} s; per minute min/median/max:")
    for i, r in enumerate(rows, 1):
        lag = f"{r['lmin']}/{r['lmed']}/{r['lmax']} s" if r["lmin"] is not None else "-"
        print(f"  {i:3d} ({int(r['s']):2d} s)  {int(r['played']):6d} played  {lag}")
framed = [r for r in rows if int(r["frames"]) > 0]
if framed:
    print(f"frame lock             p50 {statistics.median(int(r['p50']) for r in framed)} us, p99 {max(int(r['p99']) for r in framed)} us, "
          f"max {max(int(r['fmax']) for r in framed)} us; {sum(int(r['frames']) for r in framed)} frames of mean "
          f"{sum(int(r['blocks']) * int(r['frames']) for r in framed) / sum(int(r['frames']) for r in framed):.0f} position blocks")
print(f"RSS                    {int(rss2) / 1024:.1f} MB at 2 min, {int(rss_end) / 1024:.1f} MB at the end")
pts = []
with open(samples) as f:
    for line in f:
        p = line.split()
        if len(p) == 5 and p[2] != "-": pts.append(tuple(int(x) for x in p))
later = [p for p in pts if p[0] >= 300] or pts
if later:
    print(f"AI aircraft (from 5 min) live {min(p[2] for p in later)} to {max(p[2] for p in later)}, static {min(p[3] for p in later)} to {max(p[3] for p in later)}, "
          f"never moved {min(p[4] for p in later)} to {max(p[4] for p in later)}")
    print(f"RSS (from 5 min)       {min(p[1] for p in later) / 1024:.1f} to {max(p[1] for p in later) / 1024:.1f} MB")
end = counts_end.split()
print(f"AI aircraft at the end live {end[0]}, static {end[1]}, never moved {end[2]}")
EOF
echo "marked lines in Log.txt: $(grep -c '===>' "$work/Log.txt" || true)"
echo "the run's folder: $tmp"
