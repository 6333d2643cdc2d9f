#!/usr/bin/env bash
# Instructions per call of one expression, counted by callgrind (repeatable on a busy machine):
# the difference between N calls and none, divided by N.
#   bench/count_instructions.sh BUILD_DIR 'core.is_self_echo("u", "User", "a")' [SETUP]
set -euo pipefail
build=$1 expr=$2 setup=${3:-pass}
count() {
    valgrind --tool=callgrind --callgrind-out-file=/dev/null /usr/bin/python3 -c "
import sys; sys.path[:0] = ['$build', '$(dirname "$0")']
import vorn_sdk_core as core
$setup
f = lambda: $expr
f()
for _ in range($1): f()
" 2>&1 | sed -n 's/.*Collected : *\([0-9]*\).*/\1/p'
}
base=$(count 0)
many=$(count 2000)
echo "$(( (many - base) / 2000 )) instructions/call  $expr"
