#!/usr/bin/env bash
# Checks the shipped 32-bit files: machine type, imports (system DLLs of
# each file's allow-list only, no run-time DLLs of the compiler), exact
# export tables (KT9020DLL's as its public header lists them) and their
# calling convention, resources present.
#   check-deliverables.sh <bin directory>
set -uo pipefail
bin=${1:?bin directory}
objdump=i686-w64-mingw32-objdump
fail=0
say() { echo "check: $*"; }
bad() { echo "check: FAIL: $*"; fail=1; }

# The system DLLs each file may import: what its ports and windows use, and
# msvcrt, the C runtime MinGW's static build still calls. Anything else is a
# new dependency on every user's machine, or a port linked where it is not
# used (the controller library has no file dialogs, for one).
allowed_imports() {
  case "$1" in
    KT9020DLL.dll) echo kernel32.dll advapi32.dll user32.dll msvcrt.dll ;;
    TrivelOLE.dll) echo kernel32.dll advapi32.dll user32.dll comctl32.dll ole32.dll oleaut32.dll \
      msvcrt.dll ;;
    Tessaro.exe) echo kernel32.dll advapi32.dll user32.dll msvcrt.dll gdi32.dll comctl32.dll \
      comdlg32.dll msimg32.dll shell32.dll ole32.dll oleaut32.dll setupapi.dll wininet.dll ;;
    TessaroDEU.dll) ;;  # resources only
  esac
}

for f in Tessaro.exe KT9020DLL.dll TrivelOLE.dll TessaroDEU.dll; do
  [ -f "$bin/$f" ] || { bad "$f missing"; continue; }
  desc=$(file -b "$bin/$f")
  case "$desc" in
    PE32\ executable*Intel\ 80386*) say "$f: $desc" ;;
    *) bad "$f is not a 32-bit Intel PE: $desc" ;;
  esac
  # Statically linked: only system DLLs are imported, and only those allowed.
  imports=$($objdump -p "$bin/$f" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z')
  allowed=" $(allowed_imports "$f") "
  unexpected=0
  for dll in $imports; do
    case "$dll" in
      libstdc*|libgcc*|libwinpthread*|mingwm10*) bad "$f imports $dll"; unexpected=1 ;;
      *) [[ "$allowed" == *" $dll "* ]] || { bad "$f imports $dll, not in its allow-list"; unexpected=1; } ;;
    esac
  done
  list=$(echo $imports)
  [ $unexpected -eq 0 ] && say "$f: imports ${list:-nothing}, all allowed"
done

# Export tables: names and ordinals, exactly.
# "[Ordinal/Name Pointer] Table" lists each name with its ordinal less the
# ordinal base.
exports() {
  $objdump -p "$1" | awk '
    /^Ordinal Base/ {base=$3}
    /\[Ordinal\/Name Pointer\] Table/ {t=1; next}
    t && /^[ \t]*\[/ {gsub(/[][]/, " "); print $1 + base, $2; next}
    t && NF == 0 {t=0}'
}
# KT9020DLL's list is its public header's: lines "X(Name, Ordinal, ...".
header=$(dirname "$0")/../kt9020dll/KT9020DLL.h
expected_kt=$(sed -n 's/^[[:space:]]*X(\([A-Za-z_][A-Za-z0-9_]*\), *\([0-9][0-9]*\),.*/\2 \1/p' "$header")
count_kt=$(grep -c . <<<"$expected_kt")
actual_kt=$(exports "$bin/KT9020DLL.dll")
if [ -z "$expected_kt" ]; then bad "no export list in $header"
elif [ "$actual_kt" = "$expected_kt" ]; then
  say "KT9020DLL.dll: the $count_kt exports of KT9020DLL.h, ordinals 1-$count_kt in name order"
else bad "KT9020DLL.dll exports differ from KT9020DLL.h:"; diff <(echo "$expected_kt") <(echo "$actual_kt"); fi
# Every export returns with a plain "ret": the caller removes the arguments
# (__cdecl). A function that removes them itself (__stdcall, "ret $N")
# links against the same names and would unbalance every caller's stack.
disassembly=$($objdump -d "$bin/KT9020DLL.dll" 2>/dev/null)
for name in $(awk '{print $2}' <<<"$expected_kt"); do
  # The function's own lines: from its label (_Name, or _Name@bytes when
  # it was compiled as __stdcall) to the next label.
  code=$(awk -v n="$name" '$2 == "<_" n ">:" || $2 ~ ("^<_" n "@[0-9]+>:$") {f = 1; next}
    /^[0-9a-f]+ </ {f = 0} f' <<<"$disassembly" | grep -E '^[[:space:]]*[0-9a-f]+:[[:space:]]')
  if [ -z "$code" ]; then bad "KT9020DLL.dll: no code of $name to check"
  elif grep -qE '[[:space:]]ret[[:space:]]+\$' <<<"$code"; then bad "KT9020DLL.dll: $name removes its own arguments (not __cdecl)"
  elif ! grep -qE '[[:space:]]ret[[:space:]]*$' <<<"$code"; then bad "KT9020DLL.dll: $name has no plain ret"
  fi
done
[ -n "$expected_kt" ] && say "KT9020DLL.dll: every export returns with a plain ret (caller removes the arguments)"

actual_tr=$(exports "$bin/TrivelOLE.dll")
if [ "$actual_tr" = "1 PlugIn_GetObject" ]; then say "TrivelOLE.dll: exactly PlugIn_GetObject"
else bad "TrivelOLE.dll exports: $actual_tr"; fi

# KT9020DLL keeps its cross-process values in a section every process shares.
if [ -f "$bin/KT9020DLL.dll" ] && $objdump -h "$bin/KT9020DLL.dll" | grep -A1 ' \.shared ' | grep -q SHARED
then say "KT9020DLL.dll: .shared section shared between processes"
else bad "KT9020DLL.dll has no shared .shared section"; fi

# Resources: the string table in the program and the satellite, the
# plug-in's page and version.
for f in Tessaro.exe TessaroDEU.dll TrivelOLE.dll; do
  $objdump -h "$bin/$f" | grep -q '\.rsrc' && say "$f: has resources" || bad "$f has no resources"
done

# The program asks for administrator rights and the version 6 controls.
manifest=$(strings -n 8 "$bin/Tessaro.exe" | tr -d '\r')
if grep -q 'requireAdministrator' <<<"$manifest" && grep -q 'Microsoft.Windows.Common-Controls' <<<"$manifest"; then
  say "Tessaro.exe: manifest asks for administrator rights and common controls 6"
else bad "Tessaro.exe: manifest missing or incomplete"; fi

# The setup program: 32-bit, asks for administrator rights, carries the
# program's version (UTF-16 in the version resource).
setup="$bin/TessaroSetup.exe"
if [ ! -f "$setup" ]; then bad "TessaroSetup.exe missing"
else
  $objdump -f "$setup" | grep -q 'file format pei-i386' &&
    say "TessaroSetup.exe: PE32 (i386)" || bad "TessaroSetup.exe is not a 32-bit PE file"
  strings -n 8 "$setup" | grep -q 'requireAdministrator' &&
    say "TessaroSetup.exe: asks for administrator rights" ||
    bad "TessaroSetup.exe: no administrator manifest"
  program_version=$(sed -nE 's/^FILEVERSION ([0-9]+), *([0-9]+), *([0-9]+), *([0-9]+).*/\1.\2.\3.\4/p' \
    "$(dirname "$0")/../tessaro/shell/res/Tessaro.rc")
  strings -e l -n 6 "$setup" | grep -qx "$program_version" &&
    say "TessaroSetup.exe: version $program_version" ||
    bad "TessaroSetup.exe: version $program_version not in its resources"
fi

if [ $fail -eq 0 ]; then echo "deliverables: 1 passed, 0 failed"; else echo "deliverables: 0 passed, 1 failed"; fi
exit $fail
