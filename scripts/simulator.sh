# Sourced by run.sh and screenshot.sh: starts the router simulator on a free
# port of 127.0.0.1 and sets sim (its pid) and port. The caller's EXIT trap
# must call stop_simulator.

start_simulator() {  # $1: the routersim binary, $2: seconds to run (0 = until stopped)
    sim_out=$(mktemp)
    "$1" --udp 0 --duration "$2" >"$sim_out" 2>&1 &
    sim=$!
    port=""
    for _ in $(seq 50); do
        port=$(sed -n 's/^udp: 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$sim_out")
        [ -n "$port" ] && break
        kill -0 "$sim" 2>/dev/null || break
        sleep 0.1
    done
    if [ -z "$port" ]; then
        echo "the router simulator did not start:" >&2
        cat "$sim_out" >&2
        return 1
    fi
}

stop_simulator() {
    [ -n "${sim:-}" ] || return 0
    kill "$sim" 2>/dev/null || true
    wait "$sim" 2>/dev/null || true
    rm -f "$sim_out"
}

# A config.ini that points at the simulator (keeps other settings of an old one).
write_demo_config() {
    if [ -f config.ini ]; then
        sed -i -e 's/^IpAddress=.*/IpAddress=127.0.0.1/' -e "s/^UDPPort=.*/UDPPort=$port/" \
            -e 's/^CommType=.*/CommType=UDP/' config.ini
    else
        printf '[SETCOMMCONFIG]\r\nCommType=UDP\r\nIpAddress=127.0.0.1\r\nUDPPort=%s\r\n' "$port" >config.ini
    fi
}
