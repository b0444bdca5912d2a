# scripts/run --fleet N: a whole site on this machine, for trying the fleet
# console. Everything lives in a temporary folder and ends with Ctrl+C.
# shellcheck shell=bash

# The first port from $1 on that nothing on 127.0.0.1 answers.
vf_free_port() {
  local port="$1"
  while (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; do port=$((port + 1)); done
  echo "$port"
}

vf_run_fleet() {
  local count="$1" dir mqtt web i name pids=()
  dir="$(mktemp -d -t vf3360-fleet.XXXXXX)"
  trap 'kill "${pids[@]}" 2>/dev/null; wait 2>/dev/null; rm -rf "$dir"' EXIT
  trap 'exit 130' INT TERM
  mqtt="$(vf_free_port 1883)"
  web="$(vf_free_port 8080)"
  # Anyone on this machine, nobody from elsewhere: a try-out, not a site
  # (packaging/mosquitto/ sets up a site).
  cat >"$dir/broker.conf" <<CONF
user $(id -un)
listener $mqtt 127.0.0.1
allow_anonymous true
listener $web 127.0.0.1
protocol websockets
http_dir $VF_BUILD/console/page
allow_anonymous true
CONF
  mosquitto -c "$dir/broker.conf" >"$dir/broker.log" 2>&1 &
  pids+=($!)
  for ((i = 1; i <= count; i++)); do
    name="$(printf 'display-%03d' "$i")"
    QT_QPA_PLATFORM=offscreen "$VF_BUILD/vf3360-sim" --link "$dir/$name" >"$dir/$name-module.log" 2>&1 &
    pids+=($!)
  done
  for ((i = 1; i <= count; i++)); do
    name="$(printf 'display-%03d' "$i")"
    for _ in $(seq 50); do [ -e "$dir/$name" ] && break; sleep 0.1; done
    # Every display in "all", and in "odd" or "even".
    XDG_STATE_HOME="$dir/state" "$VF_BUILD/vf3360-bridge" --name "$name" --group all \
      --group "$([ $((i % 2)) -eq 1 ] && echo odd || echo even)" --device "$dir/$name" \
      --broker "127.0.0.1:$mqtt" 2>>"$dir/bridges.log" &
    pids+=($!)
  done
  local url="http://127.0.0.1:$web/"
  echo "A broker on 127.0.0.1:$mqtt, $count virtual modules with their bridges (logs in $dir)."
  echo "The fleet console: $url"
  echo "  (send from a terminal too: mosquitto_pub -p $mqtt -q 1 -t vf3360/group/all/text -m 'こんにちは')"
  if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    if command -v xdg-open >/dev/null; then xdg-open "$url" >/dev/null 2>&1 &
    else chromium --new-window "$url" >/dev/null 2>&1 & fi
  else
    echo "  (no display here: open it in a browser on this machine)"
  fi
  echo "Ctrl+C ends it all."
  wait "${pids[0]}"
}
