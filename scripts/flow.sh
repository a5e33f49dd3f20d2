#!/usr/bin/env bash
# The main job end to end: a private session bus, the companion application serving the example
# jobs, the stand-in host with the plug-in asking for job details for a new document, saving
# it, the companion asking for an export, and the PDF. Everything it makes goes under OUT.
#
#   scripts/flow.sh BIN_DIR OUT [--host-version N] [--jobs DIR] [--job NAME] [--pdf-dir DIR]
#                   [--wait SECONDS] [--place PDF]
#
# BIN_DIR holds varnel-host, varnel-app and varnel-inspect (an installed bin/ or a folder of
# links into a build tree); the host finds its plug-in and bundle itself. The job is the
# companion's selected one unless --job names another; the PDF lands in --pdf-dir (OUT/pdf),
# waited for at most --wait seconds (30). --place puts the first page of PDF in the new document
# before it is saved, so the export shows it. Exit status 0 when the PDF was written and reported.
set -euo pipefail

usage() { sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
[ $# -ge 2 ] || usage
bin=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
shift 2
host_version=27
jobs_dir=$(cd "$(dirname "$0")/../resources/jobs" 2>/dev/null && pwd || true)
job=""
pdf_dir=$out/pdf
wait_seconds=30
place=""
while [ $# -gt 0 ]; do
    case $1 in
        --host-version) host_version=$2; shift 2 ;;
        --jobs) jobs_dir=$(cd "$2" && pwd); shift 2 ;;
        --job) job=$2; shift 2 ;;
        --pdf-dir) pdf_dir=$2; shift 2 ;;
        --wait) wait_seconds=$2; shift 2 ;;
        --place) place=$2; shift 2 ;;
        *) usage ;;
    esac
done
[ -n "$jobs_dir" ] || { echo "flow: no jobs folder (--jobs DIR)" >&2; exit 2; }

pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A session of our own: home, data and runtime folders and the bus all live under OUT.
rm -rf "$out/session" "$out/logs"
mkdir -p "$out/session/home" "$out/session/runtime" "$out/session/data/applications" "$out/logs" \
         "$out/docs"
mkdir -p "$pdf_dir" 2>/dev/null || echo "flow: cannot make $pdf_dir; the export will fail" >&2
chmod 700 "$out/session/runtime"
export HOME=$out/session/home XDG_RUNTIME_DIR=$out/session/runtime
export XDG_DATA_HOME=$out/session/data XDG_CONFIG_HOME=$HOME/.config XDG_STATE_HOME=$HOME/.local/state
export XDG_DATA_DIRS=$out/session/no-system-data
# The logs it keeps are for finding what went wrong; the end-to-end tests read the plug-in's
# debug lines in them.
export VARNEL_LOG=debug

cat > "$out/session/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=$out/session/runtime</listen>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
bus_info=$(dbus-daemon --config-file="$out/session/bus.conf" --fork --nopidfile --print-address=1 \
           --print-pid=1 2>"$out/logs/bus.log") || { echo "flow: the session bus did not start" >&2; exit 1; }
export DBUS_SESSION_BUS_ADDRESS=${bus_info%%$'\n'*}
pids+=("${bus_info##*$'\n'}")

# The companion, findable by the plug-in through its desktop entry, serving a copy of the jobs
# (an export report rewrites the job it names).
printf '[Desktop Entry]\nType=Application\nName=Varnel\nExec=%s\nNoDisplay=true\n' "$bin/varnel-app" \
    > "$out/session/data/applications/com.corvane.Varnel.desktop"
rm -rf "$out/jobs"
cp -r "$jobs_dir" "$out/jobs"
"$bin/varnel-app" serve --jobs "$out/jobs" --out "$pdf_dir" 2>"$out/logs/varnel-app.log" &
pids+=($!)
for _ in $(seq 100); do "$bin/varnel-app" list >/dev/null 2>&1 && break; sleep 0.1; done
"$bin/varnel-app" list > "$out/logs/jobs.txt" || { echo "flow: varnel-app did not start" >&2; exit 1; }
if [ -n "$job" ]; then
    "$bin/varnel-app" select "$job" >/dev/null
else
    job=$(sed -n 's/^\* *\([^ ]*\).*/\1/p' "$out/logs/jobs.txt" | head -n 1)
fi

# The host asks for the details of a new document, places the artwork in it when asked to, saves
# it, and waits for the PDF that the companion's export request makes. The companion is asked
# once the document is saved, as a person would after looking at it.
doc=$out/docs/$job.json
rm -f "$doc" "$pdf_dir/$job.pdf" 2>/dev/null || true
place_command=""
[ -z "$place" ] || place_command="place \"$place\";"
"$bin/varnel-host" -c "version $host_version; menu Job Details / Export...; wait docs 1 20; $place_command save $doc;
    wait file $pdf_dir/$job.pdf $wait_seconds; run 1; show; actions; dict Varnel5SLUGData; quit" \
    > "$out/logs/host.txt" 2> "$out/logs/host.log" &
host_pid=$!
pids+=("$host_pid")
for _ in $(seq 200); do [ -f "$doc" ] && break; kill -0 "$host_pid" 2>/dev/null || break; sleep 0.1; done
[ -f "$doc" ] || { echo "flow: no document was made (see $out/logs/host.log)" >&2; exit 1; }
# The export command waits for the plug-in's report; the checks below tell what went wrong.
"$bin/varnel-app" export --wait "$wait_seconds" "$job" > "$out/logs/export.txt" 2>&1 ||
    echo "flow: the plug-in did not report the export of $job (see $out/logs/export.txt)" >&2
wait "$host_pid" || { echo "flow: the host failed (see $out/logs/host.log)" >&2; exit 1; }
pdf=$pdf_dir/$job.pdf
[ -f "$pdf" ] || { echo "flow: no PDF was written (see $out/logs/host.log)" >&2; exit 1; }
if [ -n "$place" ] && ! grep -q '^placed page 1 of ' "$out/logs/host.txt"; then
    echo "flow: $place was not placed (see $out/logs/host.log)" >&2
    exit 1
fi

# What the document holds now: the job with the next group active.
sed -n '/^[0-9A-F]\{16,\}$/p' "$out/logs/host.txt" | tail -n 1 > "$out/docs/$job.stored.hex"
"$bin/varnel-inspect" job --hex --flags 2 "$out/docs/$job.stored.hex" > "$out/docs/$job.stored.json"
"$bin/varnel-app" history > "$out/logs/history.txt"

preview=""
if command -v pdftoppm >/dev/null; then
    pdftoppm -png -r 40 -singlefile "$pdf" "${pdf%.pdf}" && preview=${pdf%.pdf}.png
fi
flags=$(grep -o '"active": *\(true\|false\)' "$out/docs/$job.stored.json" || true)
active="group $(grep -n true <<<"$flags" | cut -d: -f1 | head -n 1) of $(grep -c . <<<"$flags")"
{
    echo "job:       $(grep "^\* *$job " "$out/logs/jobs.txt" | sed 's/^\* *//')"
    sed -n -e 's/^\(size\|artboard\|guide\) /&/p' -e 's/^art [0-9]*: placed /&/p' "$out/logs/host.txt" |
        sed 's/^/document:  /'
    echo "exported:  $(tr '\n' ' ' < "$out/logs/history.txt")"
    echo "next:      the document's stored job now has $active active"
    if command -v pdfinfo >/dev/null; then
        pdfinfo -box "$pdf" | sed -n 's/^\(PDF version\|MediaBox\|TrimBox\|BleedBox\): */\1 /p' | sed 's/^/PDF:       /'
    fi
    echo "PDF:       $pdf"
    [ -n "$preview" ] && echo "preview:   $preview"
} | tee "$out/summary.txt"
