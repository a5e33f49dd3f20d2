#!/usr/bin/env bash
# One end-to-end case: e2e.sh CASE SOURCE_DIR BUILD_DIR HOST APP INSPECT
set -euo pipefail
case=$1 source=$2 build=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/varnel-e2e-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
ln -s "$4" "$5" "$6" "$work/bin/"
flow=$source/scripts/flow.sh
out=$work/out

fail() { echo "e2e $case: $*" >&2; for f in "$out"/logs/*; do echo "== $f"; cat "$f"; done >&2; exit 1; }
check() { "$@" >/dev/null 2>&1 || fail "failed: $*"; }
# One value of `pdfinfo -box`, e.g. box MediaBox -> "0.00 0.00 612.28 858.89".
box() { pdfinfo -box "$pdf" | sed -n "s/^$1: *//p" | tr -s ' '; }
# The job the document stores, as the inspector reads it.
stored() { grep -o "\"$1\": *[^,}]*" "$out/docs/$job.stored.json" | head -n 1 | sed 's/.*: *//'; }

# The checks every successful export must pass: a valid PDF of the requested version and the
# document's size, the companion told what was exported, the next group active in the document.
# check_export VERSION [PDF]: the PDF is OUT/pdf/JOB.pdf unless given.
check_export() {
    local version=$1
    pdf=${2:-$out/pdf/$job.pdf}
    check qpdf --check "$pdf"
    [ "$(head -c 8 "$pdf")" = "%PDF-$version" ] || fail "header $(head -c 8 "$pdf"), wanted %PDF-$version"
    local size
    size=$(sed -n 's/^size \([0-9.]*\) x \([0-9.]*\) pt.*/\1 \2/p' "$out/logs/host.txt" | head -n 1)
    read -r w h <<<"$size"
    # The document is the size of the bleed box of the job the companion sent (the plug-in logs
    # trim, bleed and type-area sizes as it makes the document), and stores that job.
    local bleed
    bleed=$(sed -n 's/.*\] new details [^,]*,[^,]*,\([^,]*\),\([^,]*\),.*/\1 \2/p' "$out/logs/host.log")
    [ "$bleed" = "$w $h" ] || fail "document $w x $h, the job's bleed box $bleed"
    grep -q "^\*\? *$job *$(stored identifier | tr -d '"') " "$out/logs/jobs.txt" \
        || fail "the document stores another job than $job"
    read -r l b r t <<<"$(box MediaBox)"
    awk -v a="$r" -v b="$l" -v w="$w" 'BEGIN { exit !((a - b - w)^2 < 0.01) }' || fail "MediaBox width, wanted $w"
    awk -v a="$t" -v b="$b" -v h="$h" 'BEGIN { exit !((a - b - h)^2 < 0.01) }' || fail "MediaBox height, wanted $h"
    for inner in TrimBox BleedBox; do
        read -r il ib ir it <<<"$(box $inner)"
        awk -v l="$l" -v b="$b" -v r="$r" -v t="$t" -v il="$il" -v ib="$ib" -v ir="$ir" -v it="$it" \
            'BEGIN { exit !(il >= l && ib >= b && ir <= r && it <= t) }' || fail "$inner outside MediaBox"
    done
    grep -q "destinations .* to $pdf; " "$out/logs/history.txt" || fail "the companion recorded no export"
    # The companion's next group is the one the document's stored job has active.
    local next
    next=$(sed -n 's/.*; group \([0-9]*\) now active.*/\1/p' "$out/logs/history.txt" | tail -n 1)
    if [ -n "$next" ]; then
        grep -q "has group $next of" "$out/summary.txt" || fail "the stored job does not have group $next active"
    else
        grep -q "every group exported" "$out/logs/history.txt" || fail "no next group recorded"
    fi
}

# A session of the case's own under $work: home and XDG folders, and a private bus (with the
# D-Bus service files of SERVICE_DIR when given) whose daemon and companion end with the case.
# Gives companion: the pid owning com.corvane.Varnel, which need not be our child.
private_session() {
    local services=${1:-}
    mkdir -p "$out/logs" "$out/docs" "$work/home" "$work/runtime" "$work/data/applications"
    chmod 700 "$work/runtime"
    export HOME=$work/home XDG_RUNTIME_DIR=$work/runtime XDG_DATA_HOME=$work/data
    export XDG_CONFIG_HOME=$work/home/.config XDG_STATE_HOME=$work/home/.state XDG_DATA_DIRS=$work/none
    printf '<busconfig><type>session</type><listen>unix:dir=%s</listen>%s<policy context="default">%s</policy></busconfig>\n' \
        "$work/runtime" "${services:+<servicedir>$services</servicedir>}" \
        '<allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/>' > "$work/bus.conf"
    local bus
    bus=$(dbus-daemon --config-file="$work/bus.conf" --fork --nopidfile --print-address=1 --print-pid=1)
    export DBUS_SESSION_BUS_ADDRESS=${bus%%$'\n'*}
    bus_pid=${bus##*$'\n'}
    trap 'kill "$(companion)" "$bus_pid" 2>/dev/null || true; rm -rf "$work"' EXIT
}
companion() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.GetConnectionUnixProcessID string:com.corvane.Varnel 2>/dev/null | sed -n 's/.*uint32 //p'
}

case $case in
    flow)
        # The demo's own flow, with the job whose profile asks for PDF 1.4.
        job=poster
        bash "$flow" "$work/bin" "$out" --job $job >/dev/null || fail "the flow failed"
        check_export 1.4
        grep -q "adobe_saveACopyAs (dialog 3) -> 0, 61 parameter(s)" "$out/logs/host.txt" || fail "no copy export"
        ;;
    older-host)
        # Host version 14: save, save as PDF, close, reopen.
        job=brochure
        bash "$flow" "$work/bin" "$out" --job $job --host-version 14 >/dev/null || fail "the flow failed"
        check_export 1.3
        grep -q "adobe_saveDocumentAs (dialog 3) -> 0" "$out/logs/host.txt" || fail "no save-as export"
        ;;
    unwritable)
        # The job's document file lies in a folder nobody can write, not even root: /proc. The
        # older host's save-as fails, the companion is not told, and the host goes on.
        job=brochure
        cp -r "$source/resources/jobs" "$work/jobs"
        sed -i 's|"documentFile": *"[^"]*"|"documentFile": "/proc/varnel-e2e"|' "$work/jobs/$job.json"
        if bash "$flow" "$work/bin" "$out" --job $job --jobs "$work/jobs" --host-version 14 --wait 3 \
                >/dev/null 2>&1; then
            fail "the flow succeeded without a writable folder for the PDF"
        fi
        grep -q "adobe_saveDocumentAs (dialog 3) -> [^0]" "$out/logs/host.txt" || fail "the save-as did not fail"
        grep -q "^size " "$out/logs/host.txt" || fail "the host stopped after the failed export"
        if grep -q "'epsT'" "$out/logs/varnel-app.log"; then fail "the companion was told of a failed export"; fi
        ;;
    installed)
        # The installed tree, anywhere: programs, module, bundle, jobs from the prefix alone.
        prefix=$work/prefix
        check cmake --install "$build" --prefix "$prefix"
        rm "$work/bin"/*
        job=flyer
        bash "$flow" "$prefix/bin" "$out" --job $job --jobs "$prefix/share/varnel/jobs" >/dev/null \
            || fail "the flow failed from the installed tree"
        check_export 1.3
        grep -q "^Exec=$prefix/bin/varnel-app$" "$prefix/share/applications/com.corvane.Varnel.desktop" \
            || fail "desktop entry does not name the installed program"
        # The manifest lists every file installed, those written at install time too, and no other.
        find "$prefix" ! -type d | sort > "$work/tree.txt"
        sort "$build/install_manifest.txt" | diff - "$work/tree.txt" > "$work/manifest.diff" \
            || fail "install manifest (<) and installed tree (>) differ: $(cat "$work/manifest.diff")"
        ;;
    package)
        # The Debian package made from this build, unpacked into a scratch root: its fields, its
        # documents and manual pages, no trace of the build folder, and the main job run by its
        # programs, the companion started by a private bus through the package's service file.
        # Its files name /usr; here the service file is copied with Exec moved into the root, and
        # the companion serves the package's jobs, found beside its program.
        [ -n "${CPACK:-}" ] || fail "CPACK names no cpack"
        "$CPACK" -G DEB --config "$build/CPackConfig.cmake" -B "$work/pkg" > "$work/cpack.log" 2>&1 \
            || fail "cpack failed: $(cat "$work/cpack.log")"
        debs=("$work"/pkg/*.deb)
        [ ${#debs[@]} = 1 ] && [ -f "${debs[0]}" ] || fail "cpack made ${#debs[@]} packages"
        deb=${debs[0]}
        field() { dpkg-deb -f "$deb" "$1"; }
        [ "$(field Package)" = varnel ] || fail "package name $(field Package)"
        [ "$(field Section)" = graphics ] || fail "section $(field Section)"
        # Depends from dpkg-shlibdeps: the C library and the libraries linked, then the session bus.
        depends=$(field Depends)
        for dep in 'libc6 (' 'libsystemd0 (' 'libqpdf29 (' 'libstdc++6 (' 'dbus-session-bus'; do
            [[ $depends == *"$dep"* ]] || fail "Depends lacks $dep: $depends"
        done
        root=$work/root
        check dpkg-deb -x "$deb" "$root"
        doc=$root/usr/share/doc/varnel
        head -n 1 "$doc/copyright" | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/$' \
            || fail "the copyright file is not DEP-5"
        zcat "$doc/changelog.gz" | head -n 1 | grep -qF "varnel ($(field Version)) " \
            || fail "the changelog's latest entry is not version $(field Version)"
        for program in varnel-host varnel-app varnel-inspect; do
            [ -x "$root/usr/bin/$program" ] || fail "no /usr/bin/$program"
            zcat "$root/usr/share/man/man1/$program.1.gz" | grep -qi "^\.TH \"\?$program\"\? \"\?1" \
                || fail "no manual page $program(1)"
        done
        [ -f "$root/usr/lib/varnel/libvarnel_platform.so" ] && [ -f "$root/usr/lib/varnel/VarnelPlugin.so" ] \
            || fail "the platform library and the module are not in /usr/lib/varnel"
        for entry in applications/com.corvane.Varnel.desktop dbus-1/services/com.corvane.Varnel.service; do
            grep -qx 'Exec=/usr/bin/varnel-app' "$root/usr/share/$entry" || fail "$entry: Exec is not /usr/bin/varnel-app"
        done
        # Libraries and data come from the package, never from the build (a run search path there
        # would let the programs run here and fail once installed).
        leaks=$(grep -rlF "$build" "$root" || true)
        [ -z "$leaks" ] || fail "files naming the build folder: $leaks"

        mkdir -p "$work/services"
        sed "s|^Exec=/usr/|Exec=$root/usr/|" "$root/usr/share/dbus-1/services/com.corvane.Varnel.service" \
            > "$work/services/com.corvane.Varnel.service"
        # The bus hands this environment to the companion it starts.
        private_session "$work/services"
        export VARNEL_LOG=debug  # the plug-in logs the sizes it makes the document
        unset VARNEL_JOBS
        # Started by the bus, the companion logs to its state folder; shown with the others on failure.
        ln -s "$XDG_STATE_HOME/varnel/varnel-app.log" "$out/logs/varnel-app.log"
        bin=$root/usr/bin
        dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
            org.freedesktop.DBus.StartServiceByName string:com.corvane.Varnel uint32:0 > "$out/logs/activation.txt" 2>&1 \
            || fail "the bus did not start the companion: $(cat "$out/logs/activation.txt")"
        pid=$(companion)
        [ -n "$pid" ] && [ "$(readlink -f "/proc/$pid/exe")" = "$(readlink -f "$bin/varnel-app")" ] \
            || fail "com.corvane.Varnel is not the package's varnel-app"

        # A job of three groups, so the document's stored job shows the next one active.
        job=brochure
        "$bin/varnel-app" select $job > /dev/null || fail "select $job"
        "$bin/varnel-app" list > "$out/logs/jobs.txt" || fail "list"
        pdf=$work/data/varnel/out/$job.pdf
        doc=$out/docs/$job.json
        "$bin/varnel-host" -c "menu Job Details / Export...; wait docs 1 20; save $doc; wait file $pdf 30;
            run 1; show; actions; dict Varnel5SLUGData; quit" > "$out/logs/host.txt" 2> "$out/logs/host.log" &
        host=$!
        for _ in $(seq 200); do [ -f "$doc" ] && break; kill -0 "$host" 2>/dev/null || break; sleep 0.1; done
        [ -f "$doc" ] || fail "no document was made"
        "$bin/varnel-app" export --wait 30 $job > "$out/logs/export.txt" 2>&1 || fail "the export was not reported"
        wait "$host" || fail "the host failed"
        sed -n '/^[0-9A-F]\{16,\}$/p' "$out/logs/host.txt" | tail -n 1 > "$out/docs/$job.stored.hex"
        "$bin/varnel-inspect" job --hex --flags 2 "$out/docs/$job.stored.hex" > "$out/docs/$job.stored.json" \
            || fail "the inspector did not read the stored job"
        "$bin/varnel-app" history > "$out/logs/history.txt" || fail "history"
        flags=$(grep -o '"active": *\(true\|false\)' "$out/docs/$job.stored.json" || true)
        echo "has group $(grep -n true <<<"$flags" | cut -d: -f1 | head -n 1) of $(grep -c . <<<"$flags")" \
            > "$out/summary.txt"
        check_export 1.3 "$pdf"
        ;;
    killed)
        # The companion killed with SIGKILL in the middle of a details request and of an export
        # (the host killed while it writes is the fault tests'). The host goes on, the plug-in
        # launches the companion again from where it remembered it, and the next requests work.
        job=brochure
        cp -r "$source/resources/jobs" "$work/jobs"
        private_session
        export VARNEL_JOBS=$work/jobs  # what a companion the plug-in launches serves
        printf '[Desktop Entry]\nType=Application\nName=Varnel\nExec=%s\n' "$work/bin/varnel-app" \
            > "$work/data/applications/com.corvane.Varnel.desktop"
        app() { "$work/bin/varnel-app" "$@" 2>/dev/null; }
        serving() { for _ in $(seq 300); do app list >/dev/null && return 0; sleep 0.1; done; return 1; }
        mkfifo "$work/host.in"
        "$work/bin/varnel-host" < "$work/host.in" > "$out/logs/host.txt" 2> "$out/logs/host.log" &
        host=$!
        exec 3> "$work/host.in"
        say() { echo "$*" >&3; }
        # Waits until the host has printed PATTERN, 30 s at most.
        answered() { for _ in $(seq 600); do grep -q "$1" "$out/logs/host.txt" && return 0; sleep 0.1; done; return 1; }

        "$work/bin/varnel-app" serve --jobs "$work/jobs" 2> "$out/logs/varnel-app.log" &
        disown  # killed on purpose below: no word from the shell about it
        serving || fail "the companion did not start"
        say "menu Job Details / Export..."; say "wait docs 1 20"
        answered "^1 document open" || fail "no first document"
        # From here the plug-in finds the companion where it last saw it, not by its desktop entry.
        rm "$work/data/applications/com.corvane.Varnel.desktop"

        # A details request the companion never answers: stopped, then killed with the request.
        kill -STOP "$(companion)"
        say "menu Job Details / Export..."; say "run 0.5"
        sleep 1
        kill -KILL "$(companion)"
        # The next request launches it again (and is lost: it is sent before the companion is up).
        say "menu About Varnel..."; say "run 0.5"
        serving || fail "the plug-in did not launch the companion again"
        say "save $out/docs/$job.json"

        # An export: the companion asks, and is killed before the report reaches it.
        for _ in $(seq 50); do
            say "menu About Varnel..."; say "run 0.2"
            app export --wait 0 "$job" >/dev/null && break
            sleep 0.1
        done
        kill -STOP "$(companion)"
        pdf=$work/data/varnel/out/$job.pdf
        say "wait file $pdf 20"
        answered "$job.pdf" || fail "no PDF after the export"
        kill -KILL "$(companion)"
        check qpdf --check "$pdf"
        for file in "$work"/jobs/*.json; do
            python3 -c 'import json, sys; json.load(open(sys.argv[1]))' "$file" || fail "$file is not whole"
        done

        # After the restart a new document is asked for, and made.
        say "close"; say "menu About Varnel..."; say "run 0.5"
        serving || fail "the companion was not launched after the export"
        say "menu Job Details / Export..."; say "wait docs 1 20"; say "quit"
        exec 3>&-
        wait "$host" || fail "the host failed"
        [ "$(grep -c '^1 document open' "$out/logs/host.txt")" = 2 ] || fail "no document after the restart"
        # Launched with no terminal, the companion kept its log in the state folder.
        grep -q "serving as com.corvane.Varnel" "$XDG_STATE_HOME/varnel/varnel-app.log" ||
            fail "the launched companion left no log in \$XDG_STATE_HOME/varnel"
        ;;
    *) fail "unknown case" ;;
esac
