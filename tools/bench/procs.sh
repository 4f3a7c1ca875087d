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
