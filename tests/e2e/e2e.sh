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
check_export() {
    local version=$1
    pdf=$out/pdf/$job.pdf
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
        ;;
    *) fail "unknown case" ;;
esac
