#!/usr/bin/env bash
# scripts/testdb as a user of this machine meets it: the server runs under an unprivileged account
# (mysql, when started as root), on 127.0.0.1 only, with a secure_file_priv and a generated root
# password of its own; a state file or link planted where the state goes has no effect.
set -euo pipefail
testdb=$1
work=$(mktemp -d /tmp/brindlecast-testdb-test.XXXXXX)
export BRINDLECAST_TESTDB=$work/planted.state
cleanup() {
  "$testdb" stop > /dev/null 2>&1 || true
  kill "$victim" 2> /dev/null || true
  rm -rf "$work" "$decoy"
}
victim=""
decoy=$(mktemp -d /tmp/bctdb.XXXXXX)
trap cleanup EXIT
passes=0
failures=0
check() {  # DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then
    echo "ok: $what"
    passes=$((passes + 1))
  else
    echo "FAILED: $what"
    failures=$((failures + 1))
  fi
}

# A planted state file: the shell in it never runs, the process it names is not killed, the
# directory it names (one that looks like a server's) is not removed.
sleep 600 &
victim=$!
touch "$decoy/keep"
cat > "$BRINDLECAST_TESTDB" <<STATE
TESTDB_PID=$victim
TESTDB_DIR=$decoy
\$(touch $work/ran-from-substitution)
touch $work/ran-as-command
STATE
"$testdb" stop > /dev/null 2>&1 || true
check "a planted state runs nothing" test ! -e "$work/ran-from-substitution" -a ! -e "$work/ran-as-command"
check "a planted state kills nothing" kill -0 "$victim"
check "a planted state removes nothing" test -e "$decoy/keep"
check "a planted state gives no values" bash -c '! "$1" get TESTDB_PID > /dev/null 2>&1' _ "$testdb"

# A planted link: start replaces it and writes nothing through it.
echo "precious" > "$work/victim-file"
ln -s "$work/victim-file" "$BRINDLECAST_TESTDB"
"$testdb" start > "$work/start.log" 2>&1 || { cat "$work/start.log"; exit 1; }
check "start writes nothing through a planted link" test "$(cat "$work/victim-file")" = precious
dir=$("$testdb" get TESTDB_DIR)
check "the state lives in the server's own directory" test "$(readlink "$BRINDLECAST_TESTDB")" = "$dir/state"
check "the state is readable by its owner alone" test "$(stat -c %a "$dir/state")" = 600

pid=$("$testdb" get TESTDB_PID)
server_user=$(ps -o user= -p "$pid" | tr -d ' ')
if [ "$(id -u)" -eq 0 ]; then
  check "started as root, the server runs as mysql (it runs as $server_user)" test "$server_user" = mysql
else
  check "the server runs as the user who started it" test "$server_user" = "$(id -un)"
fi
password_file=$dir/data/root-password
check "the root password is kept in a mode-600 file in the data directory" test "$(stat -c %a "$password_file")" = 600
root_password=$(cat "$password_file")
check "the root password is generated" test "${#root_password}" -ge 16 -a "$root_password" != root-pw
check "the state gives the same root password" test "$("$testdb" get TESTDB_ROOT_PASSWORD)" = "$root_password"
settings=$(MYSQL_PWD=$root_password mariadb --no-defaults -uroot --socket="$("$testdb" get TESTDB_SOCKET)" -N -B \
  -e 'SELECT @@bind_address, @@secure_file_priv')
check "it listens on 127.0.0.1 only and reads and writes files only in its own directory ($settings)" \
  test "$settings" = "127.0.0.1	$dir/files/"
check "the demo login works" bash -c 'MYSQL_PWD=brindle-pw mariadb --no-defaults -ubrindle -h127.0.0.1 -P"$1" -N -e "SELECT 1" > /dev/null' \
  _ "$("$testdb" get TESTDB_PORT)"

# Without --grant-process the published demo login sees only its own threads: not what root runs,
# but its own statements, which it may still stop (as the console's cancel does).
port=$("$testdb" get TESTDB_PORT)
socket=$("$testdb" get TESTDB_SOCKET)
demo() { MYSQL_PWD=brindle-pw mariadb --no-defaults -ubrindle -h127.0.0.1 -P"$port" -N -B -e "$1"; }
grants=$(demo "SHOW GRANTS")
check "the demo login has no PROCESS privilege" test "${grants/PROCESS/}" = "$grants"
MYSQL_PWD=$root_password mariadb --no-defaults -uroot --socket="$socket" -e "SELECT SLEEP(20), 'root-sleeps'" \
  > /dev/null 2>&1 &
root_sleep=$!
demo "SELECT SLEEP(20), 'demo-sleeps'" > /dev/null 2>&1 &
demo_sleep=$!
sleep 2
seen=$(demo "SELECT INFO FROM information_schema.PROCESSLIST WHERE INFO LIKE 'SELECT SLEEP(20)%'")
check "the demo login does not see root's statement" test "${seen/root-sleeps/}" = "$seen"
check "the demo login sees its own statement" test "${seen/demo-sleeps/}" != "$seen"
own_id=$(demo "SELECT ID FROM information_schema.PROCESSLIST WHERE INFO LIKE 'SELECT SLEEP(20)%'")
demo "KILL QUERY $own_id"
stopped=0
for _ in $(seq 1 50); do kill -0 "$demo_sleep" 2> /dev/null || { stopped=1; break; }; sleep 0.1; done
check "the demo login stops its own statement" test "$stopped" = 1
kill "$root_sleep" 2> /dev/null || true

"$testdb" stop > /dev/null
check "stop removes the server's directory" test ! -e "$dir"
check "stop ends the server" bash -c '! kill -0 "$1" 2> /dev/null || grep -q "^[^ ]* ([^)]*) Z" "/proc/$1/stat"' _ "$pid"
check "the planted link's target is still there" test "$(cat "$work/victim-file")" = precious

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
