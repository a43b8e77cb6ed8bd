# Sourced by the test scripts: a bounded poll.
# wait_for TENTHS COMMAND...: until COMMAND succeeds, at most TENTHS tenths of a second.
wait_for() {
    local tenths=$1
    shift
    for _ in $(seq "$tenths"); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}
