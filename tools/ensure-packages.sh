#!/usr/bin/env bash
# Installs the Debian or Ubuntu packages that a make target needs and that
# are missing: with apt-get when run as root, otherwise it prints the line to
# run and stops.
#
#   tools/ensure-packages.sh demo|test|ci|libcxx|windows
set -euo pipefail

need=()
want() {  # want PACKAGE TEST...: the package, unless the test succeeds
  local package=$1
  shift
  "$@" >/dev/null 2>&1 || need+=("$package")
}
has() { command -v "$1"; }

want cmake has cmake
want g++ has g++
if [[ ${1:-demo} != demo ]]; then
  want libgtest-dev test -f /usr/include/gtest/gtest.h
fi
if [[ ${1:-demo} == libcxx || ${1:-demo} == ci ]]; then
  want clang has clang++
  want libc++-dev test -d /usr/include/c++/v1
  want libc++abi-dev sh -c 'ls /usr/lib/llvm-*/lib/libc++abi.so'
  want googletest test -f /usr/src/googletest/CMakeLists.txt
fi
if [[ ${1:-demo} == windows || ${1:-demo} == ci ]]; then
  want g++-mingw-w64-x86-64-posix has x86_64-w64-mingw32-g++-posix
  want googletest test -f /usr/src/googletest/CMakeLists.txt
  want wine has wine
  want wine64 sh -c 'ls /usr/lib/wine/wine64'
fi
if [[ ${1:-demo} == ci ]]; then
  want clang has clang++
  want clang-format has clang-format
  want libclang-rt-14-dev sh -c 'ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a'
  want libxml2-utils has xmllint  # checks the GPX and KML reports
  want chromium has chromium      # runs the map page
  want gdal-bin has ogrinfo       # opens the KML report
  want mandoc has mandoc          # checks the manual page
fi

[[ ${#need[@]} -eq 0 ]] && exit 0
if [[ $(id -u) -ne 0 ]]; then
  echo "Tovlek needs these packages first:"
  echo "  sudo apt-get install -y ${need[*]}"
  exit 1
fi
echo "Installing ${need[*]} ..."
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q "${need[@]}"
