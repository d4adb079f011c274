#!/usr/bin/env bash
# All static checks in one place: formatting, where Windows headers may be
# included, includes that point up the layers, words the tree must not
# contain, every test source built, every fuzz target with inputs.
set -uo pipefail
cd "$(dirname "$0")/.."
fail=0

sources=$(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' '*.c' | grep -v '^build/')

# 1. Formatting.
if command -v clang-format >/dev/null; then
  bad=$(for f in $sources; do clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || echo "$f"; done)
  if [ -n "$bad" ]; then
    echo "lint: not clang-formatted (run clang-format -i):"; echo "$bad" | sed 's/^/  /'; fail=1
  fi
fi

# 2. Windows and driver headers only in Win32 files (*_win.*) and kernel
#    driver sources (sim/driver/); portable code must build natively.
bad=$(for f in $sources; do
  case "$f" in *_win.c|*_win.cpp|*_win.h|sim/driver/*) continue ;; esac
  grep -l -E '^\s*#\s*include\s*[<"](windows|winioctl|winsvc|ntddk|wdm|commdlg|wininet|setupapi|objbase|msxml[0-9]*)\.h[>"]' "$f"
done)
if [ -n "$bad" ]; then
  echo "lint: Windows headers outside *_win files:"; echo "$bad" | sed 's/^/  /'; fail=1
fi

# 3. Layers: no include of a higher layer (scripts/check-layers.py says
#    which layer may include which).
bad=$(python3 scripts/check-layers.py $sources)
if [ -n "$bad" ]; then
  echo "lint: includes that point up the layers:"; echo "$bad" | sed 's/^/  /'; fail=1
fi

# 4. Words that do not belong in the tree.
bad=$(git ls-files --cached --others --exclude-standard | grep -v -E '^(build/|\.clang)' |
  xargs -r grep -n -I -i -E '\bs[p]ec(ification)?s?\b|\bP[a]rt [1-6]\.[1-5]\b' -- 2>/dev/null | head -20)
names=$(git ls-files --cached --others --exclude-standard | grep -i -E 's[p]ec|p[a]rt[-_ ]?[1-6]')
if [ -n "$bad$names" ]; then
  echo "lint: forbidden words:"; printf '%s\n' "$bad" "$names" | sed '/^$/d; s/^/  /'; fail=1
fi

# 5. Every test source is built: named in the CMakeLists of its folder.
for f in $(git ls-files --cached --others --exclude-standard -- 'tests/*.cpp'); do
  dir=$(dirname "$f")
  grep -q -F "$(basename "$f")" "$dir/CMakeLists.txt" 2>/dev/null || { echo "lint: $f is not built"; fail=1; }
done

[ $fail -eq 0 ] && echo "lint: ok"
exit $fail
