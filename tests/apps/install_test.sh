#!/usr/bin/env bash
# usage: install_test.sh info|install BUILD_DIR ZEMVIEWER ZEMTOOL
set -uo pipefail
mode=$1
build=$2
viewer=$3
tool=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}

# A program's --help or --version: status 0, text on standard output, nothing on standard error.
expect_info() {
  local want=$1
  shift
  "$@" >"$work/out" 2>"$work/err" || fail "$* ended with status $?"
  grep -q -- "$want" "$work/out" || fail "$*: no '$want' in: $(head -3 "$work/out")"
  [ ! -s "$work/err" ] || fail "$* wrote to standard error: $(head -3 "$work/err")"
}

case "$mode" in
  info)
    expect_info "^Usage: zemviewer \[SHOW\]" "$viewer" --help
    expect_info "^Usage: zemviewer" "$viewer" -h
    expect_info "^zemviewer [0-9]" "$viewer" --version
    expect_info "^zemtool [0-9]" "$tool" --version
    expect_info "^usage: zemtool COMMAND" "$tool" --help
    # Without any display the player says so in one line, with no complaint of a Wayland
    # library about XDG_RUNTIME_DIR.
    demo=$build/demo/Demo.zmshow
    if [ -f "$demo" ]; then
      env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_RUNTIME_DIR -u SDL_VIDEODRIVER SDL_AUDIODRIVER=dummy \
        timeout 20 "$viewer" "$demo" >"$work/out" 2>"$work/err"
      status=$?
      [ "$status" = 1 ] || fail "no display: status $status, expected 1"
      [ "$(wc -l <"$work/err")" = 1 ] && grep -q "^Slideshow Error: " "$work/err" ||
        fail "no display: standard error is not one error line: $(head -3 "$work/err")"
    fi
    ;;
  install)
    # 1. cmake --install into a prefix.
    cmake --install "$build" --prefix "$work/prefix" >"$work/install.log" 2>&1 || fail "cmake --install: $(tail -3 "$work/install.log")"
    for f in bin/zemviewer bin/zemtool share/man/man1/zemviewer.1 share/man/man1/zemtool.1 \
             share/applications/zemviewer.desktop share/mime/packages/zem.xml \
             share/icons/hicolor/scalable/apps/zemviewer.svg share/zem/demo/Demo.zmshow; do
      [ -f "$work/prefix/$f" ] || fail "cmake --install did not install $f"
    done
    # The manual pages render without warnings.
    for page in zemviewer zemtool; do
      LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$work/prefix/share/man/man1/$page.1" \
        >"$work/$page.txt" 2>"$work/$page.err" || fail "man -l $page.1 failed"
      [ ! -s "$work/$page.err" ] || fail "man -l $page.1 warns: $(head -3 "$work/$page.err")"
      grep -q "^NAME" "$work/$page.txt" || fail "man -l $page.1 has no NAME section"
    done
    grep -q "^MimeType=.*application/x-zem-show" "$work/prefix/share/applications/zemviewer.desktop" ||
      fail "the desktop entry names no show MIME type"
    if command -v desktop-file-validate >/dev/null; then
      desktop-file-validate "$work/prefix/share/applications/zemviewer.desktop" || fail "desktop entry invalid"
    fi

    # 2. The Debian package, unpacked into a temporary root and run from there.
    (cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/pkg") >"$work/cpack.log" 2>&1 ||
      fail "cpack: $(tail -5 "$work/cpack.log")"
    deb=$(ls "$work"/pkg/*.deb 2>/dev/null | head -1)
    [ -n "$deb" ] || fail "cpack made no .deb: $(tail -5 "$work/cpack.log")"
    dpkg-deb -f "$deb" Depends | grep -q "libsdl2" || fail "the package does not depend on SDL: $(dpkg-deb -f "$deb" Depends)"
    dpkg-deb -x "$deb" "$work/root" || fail "dpkg-deb -x failed"
    root=$work/root/usr
    "$root/bin/zemviewer" --version | grep -q "^zemviewer" || fail "the installed player does not run"
    "$root/bin/zemtool" verify "$root/share/zem/demo/Demo.zmshow" >"$work/verify.txt" || fail "the installed demo does not verify: $(tail -2 "$work/verify.txt")"
    # The installed player plays the installed demo (a frame drawn without a display).
    "$root/bin/zemviewer" "$root/share/zem/demo/Demo.zmshow" -snapshot "$work/frame.png" -at 3000 -outsize 320x180 \
      2>"$work/snap.err" || fail "the installed player could not draw the demo: $(head -3 "$work/snap.err")"
    sd=$(convert "$work/frame.png" -format '%[fx:standard_deviation]' info: 2>/dev/null)
    awk "BEGIN{exit !(${sd:-0} > 0.02)}" || fail "the demo frame is uniform (deviation ${sd:-none})"
    echo "deb: $(basename "$deb") ($(stat -c %s "$deb") bytes)"
    ;;
  *)
    fail "unknown mode $mode"
    ;;
esac
echo "PASS: $mode"
