#!/usr/bin/env bash
# Cross-builds Quillon for 64-bit Windows with Debian's mingw-w64: build-win64/quillon.exe and
# the tools (acetool.exe, mp3dec.exe, scxtool.exe, contactsheet.exe), plus the Windows test
# suites. Installs what is missing (as root), builds libjpeg-turbo and libpng statically from
# Debian's source packages and googletest from Debian's googletest sources, and embeds the show
# that the native build (build/) generated; the native tree is built first when it is missing.
# Usage: scripts/build-windows.sh [BUILD_DIR] [extra cmake args...]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

packages=(
  cmake ninja-build dpkg-dev python3 googletest
  gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  libz-mingw-w64-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "build-windows: installing ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "build-windows: these packages are missing and installing them needs root: ${missing[*]}" >&2
    exit 1
  fi
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi

build=${1:-build-win64}
shift || true
mkdir -p "$build"
build=$(cd "$build" && pwd)
deps=$build/deps
prefix=$deps/prefix
toolchain=$root/cmake/mingw-w64-x86_64.cmake
jobs=$(nproc 2>/dev/null || echo 2)

# The show is generated once, by the native build, and embedded as it is.
content=$root/build/content
if [ ! -f "$content/show.ace" ] || [ ! -f "$content/soundtrack.mp3" ] || [ ! -f "$content/launcher.png" ]; then
  echo "build-windows: the native build's content is missing; building build/ first"
  scripts/setup.sh build
fi

# libjpeg-turbo and libpng from Debian's source packages, fetched by apt with a sources list,
# state and cache of our own under the build folder (the system's apt configuration is not
# touched).
src=$deps/src
apt_dir=$deps/apt
if [ ! -f "$src/.fetched" ]; then
  mkdir -p "$src" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/sources.list.d" \
           "$apt_dir/preferences.d"
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
  echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian $codename main" \
    > "$apt_dir/sources.list"
  apt_opts=(
    -o "Dir::Etc::SourceList=$apt_dir/sources.list"
    -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d"
    -o "Dir::Etc::Preferences=$apt_dir/preferences"
    -o "Dir::Etc::PreferencesParts=$apt_dir/preferences.d"
    -o "Dir::State=$apt_dir"
    -o "Dir::State::Lists=$apt_dir/lists"
    -o "Dir::Cache=$apt_dir/cache"
    -o "Debug::NoLocking=1"
  )
  apt-get "${apt_opts[@]}" update
  (cd "$src" && apt-get "${apt_opts[@]}" source libjpeg-turbo libpng1.6)
  touch "$src/.fetched"
fi
jpeg_src=$(find "$src" -maxdepth 1 -type d -name 'libjpeg-turbo-*' | head -n1)
png_src=$(find "$src" -maxdepth 1 -type d -name 'libpng1.6-*' | head -n1)
if [ -z "$jpeg_src" ] || [ -z "$png_src" ]; then
  echo "build-windows: the libjpeg-turbo or libpng sources are missing under $src (remove $src and retry)" >&2
  exit 1
fi

cross_lib() {  # NAME SOURCE_DIR [cmake args...]
  local name=$1 source=$2
  shift 2
  if [ -f "$deps/build-$name/.installed" ]; then return; fi
  echo "build-windows: building $name for Windows"
  cmake -S "$source" -B "$deps/build-$name" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DQUILLON_WIN_PREFIX="$prefix" -Wno-dev "$@" >/dev/null
  cmake --build "$deps/build-$name" -j "$jobs" --target install >/dev/null
  touch "$deps/build-$name/.installed"
}
cross_lib jpeg "$jpeg_src" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_SIMD=OFF
cross_lib png "$png_src" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
  -DCMAKE_POLICY_DEFAULT_CMP0074=NEW
cross_lib googletest /usr/src/googletest -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON

echo "build-windows: building Quillon in $build"
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUILLON_WIN_PREFIX="$prefix" -DQUILLON_CONTENT_FROM="$content" -DQUILLON_BENCH=OFF "$@"
cmake --build "$build" -j "$jobs"

# The player and the tools must run from a bare folder: only Windows system DLLs.
allowed='^(kernel32|user32|gdi32|opengl32|glu32|winmm|advapi32|shell32|msvcrt|ws2_32|ole32|comdlg32|comctl32|api-ms-win-.*)\.dll$'
status=0
for exe in "$build"/quillon.exe "$build"/acetool.exe "$build"/mp3dec.exe "$build"/scxtool.exe "$build"/contactsheet.exe; do
  if [ ! -f "$exe" ]; then
    echo "build-windows: $exe was not built" >&2
    status=1
    continue
  fi
  while read -r dll; do
    if ! echo "$dll" | tr 'A-Z' 'a-z' | grep -Eq "$allowed"; then
      echo "build-windows: $(basename "$exe") needs $dll, which is not a Windows system DLL" >&2
      status=1
    fi
  done < <(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p')
done
[ $status -eq 0 ] || exit $status
echo "build-windows: $build/quillon.exe is ready (DLLs: $(x86_64-w64-mingw32-objdump -p "$build/quillon.exe" | sed -n 's/^\s*DLL Name: //p' | tr '\n' ' '))"
