#!/usr/bin/env bash
# scripts/test.sh --windows: builds the native tree (the reference) and the Windows tree
# (scripts/build-windows.sh), then under Wine and Xvfb runs the Windows test suites and checks
# quillon.exe and the tools against the native build's results. Wine runs in a prefix and a
# HOME of its own under build-win64/wine/; that HOME's .asoundrc gives Wine's ALSA a null
# device, so wave-out opens without a sound card.
# Usage: scripts/test-windows.sh [--skip-suites]   (normally through scripts/test.sh --windows)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
win=$root/build-win64
native=$root/build

if [ "${1:-}" != "--under-xvfb" ]; then
  packages=(wine wine64 fonts-wine xvfb xauth xdotool x11-apps ffmpeg)
  missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "test-windows: installing ${missing[*]}"
    if [ "$(id -u)" -ne 0 ]; then
      echo "test-windows: these packages are missing and installing them needs root: ${missing[*]}" >&2
      exit 1
    fi
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
  fi
  scripts/setup.sh build
  scripts/build-windows.sh "$win"
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" --under-xvfb "$@"
fi
shift
skip_suites=0
[ "${1:-}" = "--skip-suites" ] && skip_suites=1

export WINEPREFIX=$win/wine/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
export HOME=$win/wine/home
mkdir -p "$HOME" "$WINEPREFIX"
echo 'pcm.!default { type null }' > "$HOME/.asoundrc"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "test-windows: making the Wine prefix (once)"
  wineboot -i >/dev/null 2>&1 || true
fi
# One server for every run below. Its first program also starts Wine's background services,
# which keep the output they were given: give them none, or a caller reading this script's
# output (CTest reading a suite's) would wait for them.
wineserver -p 60 </dev/null >/dev/null 2>&1 || true  # already running after the prefix was made
wine cmd.exe /c exit 0 </dev/null >/dev/null 2>&1 || true
# Xvfb has no window manager: Wine would wait for one at every window's end (about 2 s each).
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 || true
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT

work=$win/test-windows
rm -rf "$work"
mkdir -p "$work"
cd "$work"
cp "$win"/*.exe .

passed=0
failed=0
pass() { echo "PASS: $1"; passed=$((passed + 1)); }
fail() { echo "FAIL: $1" >&2; failed=$((failed + 1)); }

if [ $skip_suites -eq 0 ]; then
  # Each suite is one CTest entry run through Wine (the toolchain's emulator).
  if ctest --test-dir "$win" --output-on-failure; then pass "Windows test suites"; else fail "Windows test suites"; fi
fi

# --version and --help.
if wine quillon.exe --version > version.txt 2>&1 && grep -q '^quillon ' version.txt; then
  pass "--version: $(tr -d '\r' < version.txt)"
else
  fail "--version"
fi
if wine quillon.exe --help > help.txt 2>&1 && grep -q -- '--render' help.txt; then pass "--help"; else fail "--help"; fi

# --info: the same report as the native player, 94 timeline entries.
if wine quillon.exe --info > info-win.txt 2>/dev/null && tr -d '\r' < info-win.txt > info-win-lf.txt &&
   "$native/quillon" --info > info-native.txt 2>/dev/null && cmp -s info-win-lf.txt info-native.txt &&
   grep -q '^timeline: 94 parts$' info-native.txt; then
  pass "--info lists the 94 timeline entries, as the native player does"
else
  fail "--info (see $work/info-win.txt against info-native.txt)"
fi

# PSNR in dB of two pictures ("inf" when they are equal).
psnr() {
  ffmpeg -hide_banner -nostats -v info -i "$1" -i "$2" \
    -lavfi "[0:v]format=rgba[a];[1:v]format=rgba[b];[a][b]psnr" -f null - 2>&1 |
    sed -n 's/.*PSNR .*average:\([0-9.inf]*\).*/\1/p' | tail -n1
}
psnr_ok() {  # PSNR at least 40 dB
  local value=$1
  [ "$value" = "inf" ] || awk -v v="$value" 'BEGIN { exit !(v + 0 >= 40) }'
}

# --frame 240: the same picture as the native player's.
if wine quillon.exe --frame 240 frame-win.png 2>/dev/null && "$native/quillon" --frame 240 frame-native.png 2>/dev/null; then
  size=$(ffprobe -v error -show_entries stream=width,height -of csv=p=0 frame-win.png)
  value=$(psnr frame-win.png frame-native.png)
  if [ "$size" = "640,480" ] && psnr_ok "$value"; then
    pass "--frame 240: 640 x 480, PSNR against the native frame $value dB"
  else
    fail "--frame 240: size $size, PSNR $value dB"
  fi
else
  fail "--frame 240 did not write a frame"
fi

# --render DIR --from 20 --to 21 --fps 30: 30 PNGs and a WAV whose samples are the native ones.
if wine quillon.exe --render render-win --from 20 --to 21 --fps 30 2>/dev/null &&
   "$native/quillon" --render render-native --from 20 --to 21 --fps 30 2>/dev/null; then
  count=$(ls render-win/frame_*.png 2>/dev/null | wc -l)
  worst=inf
  identical=0
  for f in render-win/frame_*.png; do
    value=$(psnr "$f" "render-native/$(basename "$f")")
    [ "$value" = "inf" ] && identical=$((identical + 1))
    if ! psnr_ok "$value"; then worst=$value; fi
  done
  if [ "$count" -eq 30 ] && [ "$worst" = "inf" ]; then
    pass "--render: 30 frames, each at least 40 dB from the native one ($identical identical)"
  else
    fail "--render: $count frames, one at $worst dB"
  fi
  if cmp -s render-win/soundtrack.wav render-native/soundtrack.wav; then
    pass "--render: the WAV equals the native one"
  else
    fail "--render: the WAV differs from the native one ($(cmp render-win/soundtrack.wav render-native/soundtrack.wav 2>&1 | head -n1))"
  fi
else
  fail "--render did not finish"
fi

# A loose script of three parts ending at 1, 2 and 3 s, in a window, without sound or archive:
# the window opens and the run ends by itself with exit code 0 after about 2 s.
mkdir -p loose
printf '[part]\r\nnone.scx\r\n%s\r\n0\r\ncam\r\nstandard\r\nstandard\r\n' 1000 2000 3000 > loose/script.txt
start=$(date +%s%N)
wine quillon.exe --no-launcher --window --no-sound --no-archive --data-dir loose --verbose > window.log 2>&1 &
pid=$!
seen=0
shown_at=0
while kill -0 $pid 2>/dev/null; do
  if [ $seen -eq 0 ] && xdotool search --name '^Quillon$' >/dev/null 2>&1; then
    seen=1
    shown_at=$(date +%s%N)
  fi
  sleep 0.05
done
status=0
wait $pid || status=$?
end=$(date +%s%N)
elapsed=$(( (end - start) / 1000000 ))
shown=$(( seen ? (end - shown_at) / 1000000 : 0 ))
# The show lasts 2 s from its first frame; the rest is Wine starting and the script loading.
if [ $status -eq 0 ] && [ $seen -eq 1 ] && [ $shown -lt 4000 ] && [ $elapsed -lt 15000 ]; then
  pass "window run of a three-part script: window up for $shown ms, exit 0 after $elapsed ms in all"
else
  fail "window run of a three-part script: exit $status, window seen $seen for $shown ms, $elapsed ms in all (see $work/window.log)"
fi

# Vsync is asked for and what the driver gave is logged, as on Linux.
if tr -d '\r' < window.log | grep -Eq '^swap interval: asked for -?1, got -?[0-9]+$'; then
  pass "window run: $(tr -d '\r' < window.log | grep -E '^swap interval: asked for' | head -n1)"
else
  fail "window run: no swap interval line in $work/window.log"
fi

# --no-vsync and --size: the same script in a window of that inside size, no waiting for the refresh.
status=0
timeout 60 wine quillon.exe --no-launcher --window --no-sound --no-archive --data-dir loose --verbose --no-vsync \
  --size 320x200 > window-novsync.log 2>&1 || status=$?
if [ $status -eq 0 ] && tr -d '\r' < window-novsync.log | grep -Eq '^swap interval: asked for 0, got -?[0-9]+$'; then
  pass "window run with --no-vsync --size 320x200: $(tr -d '\r' < window-novsync.log | grep -E '^swap interval: asked for' | head -n1)"
else
  fail "window run with --no-vsync --size 320x200: exit $status (see $work/window-novsync.log)"
fi

# The edit mode on a loose show: the window opens, the file watcher sees script.txt written
# again and the show is reloaded, and Escape ends the run with exit code 0.
rm -rf edit-show
"$native/quillon" --export edit-show >/dev/null 2>&1
wine quillon.exe --edit --data-dir edit-show --no-sound --verbose > edit.log 2>&1 &
pid=$!
editor=""
for _ in $(seq 1 300); do
  editor=$(xdotool search --name '^Quillon - edit-show$' 2>/dev/null | head -n1 || true)
  [ -n "$editor" ] && break
  kill -0 $pid 2>/dev/null || break
  sleep 0.1
done
watching=0
for _ in $(seq 1 100); do
  if grep -q "edit: watching the show's folders" edit.log; then watching=1; break; fi
  sleep 0.1
done
reloaded=0
if [ -n "$editor" ] && [ $watching -eq 1 ]; then
  sleep 0.5
  cp edit-show/script.txt script.copy && cat script.copy > edit-show/script.txt
  for _ in $(seq 1 100); do
    if grep -q 'quillon: reloaded' edit.log; then reloaded=1; break; fi
    sleep 0.1
  done
  xwd -root -silent > edit.xwd && ffmpeg -v error -y -i edit.xwd edit.png || true
  xdotool windowfocus --sync "$editor" key Escape 2>/dev/null || xdotool key Escape
fi
status=0
for _ in $(seq 1 100); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
if kill -0 $pid 2>/dev/null; then
  kill $pid
  status=124
fi
wait $pid 2>/dev/null || status=$?
watcher=$(tr -d '\r' < edit.log | sed -n "s/.*edit: watching the show's folders (\(.*\))/\1/p" | head -n1)
if [ -n "$editor" ] && [ $reloaded -eq 1 ] && [ "$watcher" = "ReadDirectoryChangesW" ] && [ $status -eq 0 ]; then
  pass "--edit: window up, script.txt written again is reloaded ($watcher), Escape ends it with exit code 0"
else
  fail "--edit: window '${editor}', watcher '${watcher}', reloaded $reloaded, exit $status (see $work/edit.log)"
fi

# The launcher: shown, photographed, ended with Escape and exit code 0.
wine quillon.exe > launcher.log 2>&1 &
pid=$!
dialog=""
for _ in $(seq 1 200); do
  dialog=$(xdotool search --name '^Quillon - Veltrum$' 2>/dev/null | head -n1 || true)
  [ -n "$dialog" ] && break
  sleep 0.1
done
if [ -n "$dialog" ]; then
  sleep 1
  xwd -root -silent > launcher.xwd && ffmpeg -v error -y -i launcher.xwd launcher.png || true
  xdotool windowfocus --sync "$dialog" key Escape 2>/dev/null || xdotool key Escape
fi
status=0
for _ in $(seq 1 100); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
if kill -0 $pid 2>/dev/null; then
  kill $pid
  status=124
fi
wait $pid 2>/dev/null || status=$?
if [ -n "$dialog" ] && [ $status -eq 0 ]; then
  pass "launcher shown (screenshot $work/launcher.png) and Escape ends it with exit code 0"
else
  fail "launcher: dialog found '${dialog}', exit $status"
fi

# mp3dec.exe decodes the soundtrack to the native decoder's bytes.
cp "$native/content/soundtrack.mp3" soundtrack.mp3
if wine mp3dec.exe soundtrack.mp3 mp3dec-win.wav 2>/dev/null && "$native/mp3dec" soundtrack.mp3 mp3dec-native.wav 2>/dev/null &&
   cmp -s mp3dec-win.wav mp3dec-native.wav; then
  pass "mp3dec.exe gives the native mp3dec's bytes"
else
  fail "mp3dec.exe differs from the native mp3dec ($(cmp mp3dec-win.wav mp3dec-native.wav 2>&1 | head -n1))"
fi

# scxtool.exe reads the show's scenes as scxtool does.
scx_ok=1
for scene in "$native"/content/data/*.scx; do
  name=data/$(basename "$scene")
  mkdir -p data && cp "$scene" "$name"
  wine scxtool.exe info "$name" 2>&1 | tr -d '\r' > scx-win.txt || true
  "$native/scxtool" info "$name" > scx-native.txt 2>&1 || true
  cmp -s scx-win.txt scx-native.txt || { scx_ok=0; echo "scxtool.exe info $name differs" >&2; }
done
if [ $scx_ok -eq 1 ]; then pass "scxtool.exe info prints what scxtool prints for every scene"; else fail "scxtool.exe info"; fi

# acetool.exe packs a folder and unpacks it byte for byte.
rm -rf roundtrip && mkdir -p roundtrip/out
cp -r "$native/content/data" roundtrip/data
cp "$native/content/script.txt" roundtrip/
(cd roundtrip && wine ../acetool.exe a pack.ace data script.txt >/dev/null 2>&1 &&
   wine ../acetool.exe x pack.ace out >/dev/null 2>&1) || true
if [ -f roundtrip/pack.ace ] && diff -r roundtrip/data roundtrip/out/data >/dev/null 2>&1 &&
   cmp -s roundtrip/script.txt roundtrip/out/script.txt; then
  pass "acetool.exe a then x round-trips a folder byte for byte"
else
  fail "acetool.exe round trip"
fi

echo "windows: $passed passed, $failed failed"
[ $failed -eq 0 ]
