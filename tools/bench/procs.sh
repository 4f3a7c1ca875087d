# Shared by the bench scripts (sourced, not run): finding the unix process
# behind a Windows program of the bench's prefix.

# The unix process of a Windows program of this prefix (Wine keeps the
# Windows command line as the process's). Needs WINEPREFIX.
unix_pid_of() { # glob for the first word of the command line
    local p first
    for p in /proc/[0-9]*; do
        first=""
        IFS= read -r -d '' first 2>/dev/null <"$p/cmdline" || true
        # shellcheck disable=SC2053 # $1 is a glob
        [[ $first == $1 ]] || continue
        grep -qzxF "WINEPREFIX=$WINEPREFIX" "$p/environ" 2>/dev/null || continue
        echo "${p#/proc/}"
        return 0
    done
    return 1
}

# Starts the simulated device on COM3 of the bench with its control port,
# write stamps and log under the directory given, and waits until it is
# ready. Sets devsim_pid; needs devsim, TP_PORTS_DIR and die().
start_devsim() { # directory max-seconds
    "$devsim" --link "$TP_PORTS_DIR/com3" --control 0 --ready-file "$1/devsim.port" \
        --tx-times "$1/tx.txt" --log "$1/devsim.log" --max-seconds "$2" --quiet &
    devsim_pid=$!
    for _ in $(seq 100); do
        [ -s "$1/devsim.port" ] && break
        sleep 0.05
    done
    [ -s "$1/devsim.port" ] || die "devsim did not start"
}
