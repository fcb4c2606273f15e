# Sourced by the end-to-end scripts.
# The visible window whose title matches $1, waited for up to 10 s; empty if none.
find_window() {
    local w="" _
    for _ in $(seq 1 200); do
        w=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 || true)
        [ -n "$w" ] && break
        sleep 0.05
    done
    echo "$w"
}
