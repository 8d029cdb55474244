#!/usr/bin/env bash
# Runs one real FTP server in the foreground on 127.0.0.1, for tests and the
# benchmark: ftp_server.sh KIND WORKDIR PORT PASV_FIRST PASV_LAST
#   KIND     vsftpd | pure-ftpd | pyftpdlib
#   WORKDIR  made here: WORKDIR/files is the login directory, WORKDIR/files/upload
#            the writable directory the client changes to
# The server replaces this shell (exec), so the caller's PID is the server's.
# Logins: vsftpd anonymous (no password), the others vorlune / secret.
# Exit 77 when the server is not installed.
set -euo pipefail
kind=$1 work=$2 port=$3 first=$4 last=$5
mkdir -p "$work/files/upload"
chmod 755 "$work/files"
chmod 777 "$work/files/upload"
cache="${VORLUNE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vorlune}"

case "$kind" in
vsftpd)
  [ -x /usr/sbin/vsftpd ] || exit 77
  # vsftpd will not serve an anonymous root that its user could write to.
  chmod 555 "$work/files"
  cat > "$work/vsftpd.conf" <<CONF
listen=YES
listen_address=127.0.0.1
listen_port=$port
background=NO
anonymous_enable=YES
local_enable=NO
write_enable=YES
anon_upload_enable=YES
no_anon_password=YES
anon_root=$work/files
anon_umask=022
pasv_enable=YES
pasv_min_port=$first
pasv_max_port=$last
pasv_address=127.0.0.1
seccomp_sandbox=NO
run_as_launching_user=YES
xferlog_enable=NO
secure_chroot_dir=$work/files
CONF
  exec /usr/sbin/vsftpd "$work/vsftpd.conf"
  ;;
pure-ftpd)
  bin="$cache/pure-ftpd/usr/sbin/pure-ftpd"
  pw="$cache/pure-ftpd/usr/bin/pure-pw"
  [ -x "$bin" ] && [ -x "$pw" ] || exit 77
  # A SHA-512 crypt hash: pure-pw's own default (argon2) costs seconds per login.
  hash=$(openssl passwd -6 -salt vorlune0 secret)
  uid=$(id -u) gid=$(id -g)
  # pure-ftpd refuses to log a virtual user in as root.
  if [ "$uid" = 0 ]; then uid=65534 gid=65534; fi
  echo "vorlune:$hash:$uid:$gid::$work/files/./::::::::::::" > "$work/pure.passwd"
  "$pw" mkdb "$work/pure.pdb" -f "$work/pure.passwd" >/dev/null
  exec "$bin" -S "127.0.0.1,$port" -p "$first:$last" -P 127.0.0.1 -l "puredb:$work/pure.pdb" -E -c 10
  ;;
pyftpdlib)
  /usr/bin/python3 -c 'import pyftpdlib' 2>/dev/null || exit 77
  exec /usr/bin/python3 -m pyftpdlib -i 127.0.0.1 -p "$port" -w -d "$work/files" -u vorlune -P secret \
    -r "$first-$last"
  ;;
*)
  echo "ftp_server.sh: unknown server $kind" >&2
  exit 2
  ;;
esac
