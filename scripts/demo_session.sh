#!/usr/bin/env bash
# Inside the X server: runs the demo driver and takes the screenshots it asks for.
# Usage: demo_session.sh PROGRAM TREE OUTDIR (the first two as wine paths)
set -uo pipefail
program=$1 tree=$2 out=$3
winout="Z:${out//\//\\}"
/usr/lib/wine/wine64 build/x86_64/tools/demo.exe "$program" "$tree" "$winout" >"$out/demo.log" 2>&1 &
demo=$!
while kill -0 "$demo" 2>/dev/null; do
  for request in "$out"/*.request; do
    [ -e "$request" ] || continue
    name=$(basename "$request" .request)
    sleep 0.3
    # The request may name the part of the screen to keep (WxH+X+Y).
    geometry=$(cat "$request")
    import -window root ${geometry:+-crop "$geometry"} "$out/$name.png"
    rm -f "$request"
  done
  sleep 0.1
done
wait "$demo"
status=$?
cat "$out/demo.log"
exit $status
