# Printing through the real print system, for end-to-end tests: a private
# cupsd with PDF queues (cups-pdf), the Qt print dialog driven with xdotool,
# and the printed sheet's cells checked against a reference sheet.
# Sourced by bash scripts running under xvfb-run; needs root (cupsd runs the
# cups-pdf backend as root only).
#
#   start_cupsd LOGDIR           a cupsd of the test's own; exports CUPS_SERVER
#   add_pdf_queue NAME [PPD]     a cups-pdf queue; the stock cups-pdf PPD by default
#   margins_ppd FILE L B R T     the cups-pdf PPD with an A4 printable area
#                                L B R T points in from the paper's edges
#   choose_printer_in_dialog NAME   in the open print dialog: choose NAME, print
#   wait_printed_pdf NAME DEST   waits for NAME's job to end, moves its PDF to DEST
#   check_cells PRINTED EXPECTED [SPACE]   cells.py: each card within 0.2 mm
#   stop_cupsd                   ends cupsd, keeps its logs in LOGDIR, cleans up
#
# The cupsd is isolated from any system one: its own configuration, spool,
# cache, state and logs in a temporary folder, listening only on a domain
# socket there (no port), no browsing, and its own printcap. Only this
# cupsd's printers are seen by programs started with CUPS_SERVER set.
#
# cups-pdf reads its settings from /etc/cups only, but for a queue whose
# device is cups-pdf:/INSTANCE it reads /etc/cups/cups-pdf-INSTANCE.conf
# instead of cups-pdf.conf: each queue gets such a file of its own, with a
# name no other run uses, written for the run and removed by stop_cupsd. The
# system's cups-pdf.conf is never touched.

CUPS_LIB_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
CUPSD_DIR=""
CUPSD_PID=""
CUPSD_LOGS=""
CUPSD_INSTANCES=()

cups_fail() {
    echo "cups: FAIL: $*" >&2
    exit 1
}

# The stock cups-pdf PPD, as the package installs it.
cups_pdf_ppd() {
    local ppd
    ppd=$(dpkg -L printer-driver-cups-pdf 2>/dev/null | grep '/CUPS-PDF_opt\.ppd$' | head -1 || true)
    [ -n "$ppd" ] && [ -f "$ppd" ] || cups_fail "no cups-pdf PPD (is printer-driver-cups-pdf installed?)"
    echo "$ppd"
}

start_cupsd() {
    CUPSD_LOGS="$1"
    [ "$(id -u)" = 0 ] || cups_fail "needs root: cupsd runs the cups-pdf backend as root only"
    command -v cupsd >/dev/null || cups_fail "no cupsd (is cups installed?)"
    # Under /tmp, not the build folder: the filters run as lp and must reach
    # the spool, and a domain socket's path is limited to 107 bytes.
    # A run that was killed leaves its cups-pdf settings behind: they are
    # dropped once their folder is gone.
    local f
    for f in /etc/cups/cups-pdf-plakuro-e2e-*.conf; do
        [ -e "$f" ] || continue
        [ -d "$(sed -n 's/^Out //p' "$f")" ] || rm -f "$f"
    done
    CUPSD_DIR=$(mktemp -d /tmp/plakuro-cupsd.XXXXXX)
    chmod 0711 "$CUPSD_DIR"
    local d="$CUPSD_DIR"
    mkdir -p "$d/conf/ppd" "$d/spool/tmp" "$d/cache" "$d/state" "$d/log" "$d/out" "$d/gstmp"
    cat >"$d/conf/cupsd.conf" <<EOF
LogLevel debug
Listen $d/cups.sock
Browsing No
BrowseLocalProtocols none
WebInterface No
DefaultAuthType None
PreserveJobFiles No
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  JobPrivateAccess all
  JobPrivateValues none
  SubscriptionPrivateAccess all
  SubscriptionPrivateValues none
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
EOF
    cat >"$d/conf/cups-files.conf" <<EOF
ServerRoot $d/conf
RequestRoot $d/spool
TempDir $d/spool/tmp
CacheDir $d/cache
StateDir $d/state
AccessLog $d/log/access_log
ErrorLog $d/log/error_log
PageLog $d/log/page_log
Printcap $d/printcap
User lp
Group lp
SystemGroup root
FileDevice No
EOF
    cupsd -f -c "$d/conf/cupsd.conf" -s "$d/conf/cups-files.conf" >"$d/log/cupsd.out" 2>&1 &
    CUPSD_PID=$!
    export CUPS_SERVER="$d/cups.sock"
    local _
    for _ in $(seq 1 100); do
        kill -0 "$CUPSD_PID" 2>/dev/null || cups_fail "cupsd ended at start: $(cat "$d/log/cupsd.out" "$d/log/error_log" 2>/dev/null | tail -5)"
        [ -S "$CUPS_SERVER" ] && lpstat -r 2>/dev/null | grep -q 'is running' && return 0
        sleep 0.1
    done
    cups_fail "cupsd did not answer on $CUPS_SERVER within 10 s"
}

# The output folder of queue $1's cups-pdf.
cups_out_dir() { echo "$CUPSD_DIR/out/$1"; }

add_pdf_queue() {
    local name="$1" ppd="${2:-}" instance
    [ -n "$ppd" ] || ppd=$(cups_pdf_ppd)
    instance="plakuro-e2e-${CUPSD_DIR##*.}-$name"
    mkdir -p "$(cups_out_dir "$name")"
    CUPSD_INSTANCES+=("/etc/cups/cups-pdf-$instance.conf")
    cat >"/etc/cups/cups-pdf-$instance.conf" <<EOF
Out $(cups_out_dir "$name")
AnonDirName $(cups_out_dir "$name")
Spool $CUPSD_DIR/cups-pdf-spool
Log $CUPSD_DIR/log
LogType 7
Grp root
GSTmp $CUPSD_DIR/gstmp
EOF
    # "Printer drivers are deprecated" is said for every PPD; nothing else
    # is expected on stderr.
    lpadmin -p "$name" -E -v "cups-pdf:/$instance" -P "$ppd" 2>&1 | grep -v 'drivers are deprecated' >&2 || true
    lpstat -v "$name" 2>/dev/null | grep -q "cups-pdf:/$instance" || cups_fail "queue $name was not set up"
}

margins_ppd() {
    local out="$1"
    sed "s|^\*ImageableArea A4/A4: .*|*ImageableArea A4/A4: \"$2 $3 $((595 - $4)) $((842 - $5))\"|" \
        "$(cups_pdf_ppd)" >"$out"
    grep -q "^\*ImageableArea A4/A4: \"$2 $3 " "$out" || cups_fail "the PPD's A4 printable area was not replaced"
}

. "$(dirname "${BASH_SOURCE[0]}")/find_window.sh"
cups_find_window() { find_window "$1"; }

# Qt's print dialog in Japanese: 名前(N) is the printer list. Typing a name
# in the focused list chooses the first printer starting with it, so queue
# names used together must not be prefixes of each other. Return presses the
# default button, 印刷(P). Waits until the dialog has closed.
choose_printer_in_dialog() {
    local dlg _
    dlg=$(cups_find_window '^印刷$')
    [ -n "$dlg" ] || cups_fail "the print dialog did not open"
    xdotool key --clearmodifiers alt+n
    xdotool type --delay 30 "$1"
    sleep 0.3
    xdotool key --clearmodifiers Return
    for _ in $(seq 1 100); do
        xdotool search --onlyvisible --name '^印刷$' >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    cups_fail "the print dialog did not close after choosing $1"
}

# The job is done when cups-pdf has written its PDF and the queue holds no
# job any more; the PDF is moved to $2, so the queue's next job is waited for
# afresh. One job per queue at a time. Waits up to $3 seconds (60).
wait_printed_pdf() {
    local name="$1" dest="$2" limit="${3:-60}" out pdf="" _
    out=$(cups_out_dir "$name")
    for _ in $(seq 1 $((limit * 5))); do
        kill -0 "$CUPSD_PID" 2>/dev/null || cups_fail "cupsd ended while $name printed"
        pdf=$(find "$out" -name '*.pdf' -size +0 | head -1)
        if [ -n "$pdf" ] && [ -z "$(lpstat -o "$name" 2>/dev/null)" ]; then
            mv "$pdf" "$dest"
            return 0
        fi
        sleep 0.2
    done
    lpstat -o "$name" >&2 || true
    grep -E '^E |\[Job' "$CUPSD_DIR/log/error_log" 2>/dev/null | grep -vE '^D ' | tail -10 >&2 || true
    cups_fail "queue $name printed no PDF within $limit s"
}

check_cells() {
    python3 "$CUPS_LIB_DIR/cells.py" "$1" "$2" --space "${3:-10,7,3,3}" || cups_fail "$1: cards off their cells (against $2)"
}

stop_cupsd() {
    if [ -n "$CUPSD_PID" ]; then
        kill "$CUPSD_PID" 2>/dev/null || true
        local _
        for _ in $(seq 1 50); do kill -0 "$CUPSD_PID" 2>/dev/null || break; sleep 0.1; done
        kill -9 "$CUPSD_PID" 2>/dev/null || true
        wait "$CUPSD_PID" 2>/dev/null || true
        CUPSD_PID=""
    fi
    local f
    for f in "${CUPSD_INSTANCES[@]}"; do rm -f "$f"; done
    CUPSD_INSTANCES=()
    if [ -n "$CUPSD_DIR" ]; then
        if [ -n "$CUPSD_LOGS" ]; then
            mkdir -p "$CUPSD_LOGS"
            cp -r "$CUPSD_DIR/log/." "$CUPSD_LOGS/" 2>/dev/null || true
        fi
        rm -rf "$CUPSD_DIR"
        CUPSD_DIR=""
    fi
}
