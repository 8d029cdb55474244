# Sourced by the FTP scripts: starts one real server from ftp_server.sh on
# 127.0.0.1 and waits for its control port.
#   start_ftp_server KIND ROOT PASSIVE_MIN PASSIVE_MAX LOG
# Sets server_pid, port, login and pass. Returns 0 once the port answers,
# 77 when the server is not installed, 1 when it did not come up (its log
# is printed). stop_ftp_server ends it by its PID; call it from a trap too.
server_pid=

start_ftp_server() {
  local kind=$1 root=$2 low=$3 high=$4 log=$5
  port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  "$(dirname "${BASH_SOURCE[0]}")/ftp_server.sh" "$kind" "$root" "$port" "$low" "$high" >"$log" 2>&1 &
  server_pid=$!
  case $kind in vsftpd) login=anonymous pass= ;; *) login=vorlune pass=secret ;; esac
  local _
  for _ in $(seq 200); do
    if ! kill -0 "$server_pid" 2>/dev/null; then break; fi
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then return 0; fi
    sleep 0.05
  done
  local code=0
  wait "$server_pid" || code=$?
  server_pid=
  [ $code = 77 ] && return 77
  echo "$kind: did not start"; cat "$log"
  return 1
}

stop_ftp_server() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
  server_pid=
}
