#!/usr/bin/env bash
# A kernel driver for Wine may import ntoskrnl and hal only: importing
# anything else (ntdll above all) makes Wine treat it as a plain DLL and the
# service start fails. Usage: check-imports.sh <objdump> <driver.sys>...
set -euo pipefail
objdump=$1; shift
fail=0
for sys in "$@"; do
  bad=$("$objdump" -p "$sys" | sed -n 's/^\s*DLL Name: //p' | grep -v -i -x -E 'ntoskrnl\.exe|hal\.dll' || true)
  if [ -n "$bad" ]; then
    echo "$sys imports: $bad"; fail=1
  fi
done
exit $fail
