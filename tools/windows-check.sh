#!/usr/bin/env bash
# The Windows build under Wine, against the Linux build:
#   - the platform part's tests, built for Windows;
#   - every golden vector, through the Linux test binary's runner;
#   - on every map given, with the options of a day's work, the same map,
#     report, console lines (banner aside), warnings and exit status;
#   - file names in Cyrillic, standard input and output;
#   - no DLL but the system's.
#
#   tools/windows-check.sh LINUX_BUILD WINDOWS_BUILD MAP...
set -euo pipefail

linux_build=$(realpath "$1")
windows_build=$(realpath "$2")
shift 2
export WINEDEBUG=-all LC_ALL=C.UTF-8
wine_tool="wine $windows_build/tovlek.exe"
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

echo "== DLLs"
dlls=$(x86_64-w64-mingw32-objdump -p "$windows_build/tovlek.exe" | awk '/DLL Name/ {print $3}')
echo "$dlls" | tr '\n' ' '
echo
foreign=$(grep -viE '^(kernel32|msvcrt|ucrtbase|shell32|advapi32|user32|api-ms-win-.*)\.dll$' \
  <<<"$dlls" || true)
[[ -z $foreign ]] || fail "tovlek.exe needs DLLs Windows does not have: $foreign"

echo "== platform tests"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
(cd "$scratch" && wine "$windows_build/tests/platform_tests.exe" --gtest_brief=1) ||
  fail "platform tests"

echo "== golden vectors"
TOVLEK_RUN="$wine_tool" "$linux_build/tests/tovlek_tests" --gtest_filter='Vectors/*' \
  --gtest_brief=1 || fail "golden vectors"

# Runs one build (linux or windows) in $scratch/$1 on ../in.mp with the
# options given; keeps what it wrote and printed.
run() {
  local side=$1 tool
  shift
  [[ $side == linux ]] && tool="$linux_build/tovlek" || tool=$wine_tool
  rm -rf "${scratch:?}/$side" && mkdir "$scratch/$side"
  (cd "$scratch/$side" && set +e && eval "$tool $*" >stdout 2>stderr; echo $? >status)
  # Banner line 3 names the compiler.
  sed -i '/^Built with /d' "$scratch/$side/stdout" "$scratch/$side/stderr"
}

# Both builds with the options given must leave the same files.
compare() {
  run linux "$@"
  run windows "$@"
  diff -r "$scratch/linux" "$scratch/windows" >"$scratch/diff" || fail "$map: $*"
}

echo "== maps"
for map in "$@"; do
  echo "$map"
  cp "$map" "$scratch/in.mp"
  compare -i ../in.mp -o out.mp --report r.geojson
  compare -i ../in.mp -o out.mp --close-gaps --report r.gpx
  compare -i ../in.mp -o out.mp --keep-layout --close-gaps --report r.html --threads 3
  compare -i ../in.mp -o out.mp -m 25 --report r.kml --threads 1
  compare -q --check --close-gaps -i ../in.mp
  compare -i - -o - --keep-layout "<../in.mp" ">out.mp"
done

echo "== file names in any script"
cp "$scratch/in.mp" "$scratch/Карта.mp"
compare -i ../Карта.mp -o Вывод.mp --report Отчёт.kml
grep -q "Parsing ../Карта.mp" "$scratch/windows/stdout" || fail "Cyrillic name in the console"
[[ -s $scratch/windows/Вывод.mp ]] || fail "Cyrillic output name"

if ((failures > 0)); then
  echo "$failures failed"
  exit 1
fi
echo "all alike"
