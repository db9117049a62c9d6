#!/bin/sh
# Installs the build into a temporary prefix and checks the tree: programs,
# man pages, completions, desktop files (and their validators); with a
# Debian package as third argument, that its contents list the same files.
#   check_install.sh BUILD_DIR PACKAGING_SOURCE_DIR [PACKAGE.deb]
# Exit 77 (skipped) when a checking program is missing outside CI.
set -eu
build=$1
source=$2
package=${3:-}

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
need() {
  command -v "$1" >/dev/null && return 0
  if [ -n "${CI:-}" ]; then fail "$1 is not installed (scripts/setup installs it)"; return 1; fi
  echo "SKIP: $1 is not installed (scripts/setup installs it)"; exit 77
}

prefix=$(mktemp -d "${TMPDIR:-/tmp}/selfplay-install-XXXXXX")
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1 || { cat "$prefix.log"; rm -f "$prefix.log"; exit 1; }
rm -f "$prefix.log"

# What every install holds, relative to the prefix.
expected="bin/selfplay-tool
share/man/man1/selfplay.1
share/bash-completion/completions/selfplay-tool
share/zsh/vendor-completions/_selfplay-tool
share/fish/vendor_completions.d/selfplay-tool.fish
share/thumbnailers/selfplay.thumbnailer"
[ -f "$build/selfplay" ] && expected="$expected
bin/selfplay"
if need help2man; then
  for command in "" -info -pack -export -extract-sound -repack -thumbnail -completion; do
    expected="$expected
share/man/man1/selfplay-tool$command.1"
  done
fi
[ -f "$build/selfplay-view" ] && expected="$expected
bin/selfplay-view
share/applications/selfplay-view.desktop
share/metainfo/io.github.selfplay.selfplay_view.metainfo.xml"
[ -f "$build/selfplay-view" ] && need help2man && expected="$expected
share/man/man1/selfplay-view.1"
web="$source/../build-web/selfplay-web"
if [ -f "$web/selfplay-player.wasm" ]; then
  for file in $(cd "$web" && find . -type f | sed 's|^\./||'); do
    expected="$expected
share/selfplay/web/$file"
  done
fi
for file in $expected; do
  [ -f "$prefix/$file" ] || fail "$file is not installed"
done

tool="$prefix/bin/selfplay-tool"
"$tool" --help >/dev/null || fail "the installed selfplay-tool does not run"
if [ -f "$build/selfplay" ]; then
  cmp -s "$build/selfplay" "$prefix/bin/selfplay" || fail "the installed stub differs from the built one"
  # The installed tool packs behind the stub installed beside it.
  if command -v convert >/dev/null; then
    mkdir "$prefix/pictures"
    convert -size 48x32 xc:'#3060c0' "$prefix/pictures/a.png"
    convert -size 48x32 xc:'#c06030' "$prefix/pictures/b.png"
    "$tool" pack --frames "$prefix/pictures" --interval 480 -o "$prefix/lesson.exe" >/dev/null &&
      "$tool" info "$prefix/lesson.exe" | grep -q '^stub  *495,616 bytes' ||
      fail "the installed selfplay-tool does not pack behind the installed stub"
  fi
fi

# The thumbnailer's command line, as a file manager runs it on an executable
# that is no recording: it fails and writes nothing.
exec_line=$(sed -n 's/^Exec=//p' "$prefix/share/thumbnailers/selfplay.thumbnailer")
set -- $(echo "$exec_line" | sed "s|%s|128|; s|%i|$tool|; s|%o|$prefix/thumb.png|")
if PATH="$prefix/bin:$PATH" "$@" 2>/dev/null || [ -e "$prefix/thumb.png" ]; then
  fail "the thumbnailer accepted an executable that is no recording"
fi

# Man pages carry each command's options.
if [ -f "$prefix/share/man/man1/selfplay-tool-pack.1" ]; then
  grep -q -- 'keep\\-sound\\-format' "$prefix/share/man/man1/selfplay-tool-pack.1" ||
    fail "selfplay-tool-pack.1 lacks --keep-sound-format"
  grep -q 'selfplay-tool' "$prefix/share/man/man1/selfplay-tool.1" || fail "selfplay-tool.1 is empty"
fi

# The completions answer as each shell would ask.
reply=$(bash -c '. "$1"; COMP_WORDS=(selfplay-tool ex); COMP_CWORD=1; _selfplay_tool; echo "${COMPREPLY[*]}"' \
  sh "$prefix/share/bash-completion/completions/selfplay-tool")
[ "$reply" = "export extract-sound" ] || fail "bash completes 'ex' as '$reply'"
reply=$(bash -c '. "$1"; COMP_WORDS=(selfplay-tool pack --keep); COMP_CWORD=2; _selfplay_tool; echo "${COMPREPLY[*]}"' \
  sh "$prefix/share/bash-completion/completions/selfplay-tool")
[ "$reply" = "--keep-sound-format" ] || fail "bash completes 'pack --keep' as '$reply'"
if command -v zsh >/dev/null; then
  zsh -n "$prefix/share/zsh/vendor-completions/_selfplay-tool" || fail "the zsh completion does not parse"
fi
if command -v fish >/dev/null; then
  reply=$(fish -c "source '$prefix/share/fish/vendor_completions.d/selfplay-tool.fish'; complete -C 'selfplay-tool pack --inter'" | cut -f1)
  [ "$reply" = "--interval" ] || fail "fish completes 'pack --inter' as '$reply'"
fi

# The desktop files pass their validators, installed or not yet.
if need desktop-file-validate; then
  desktop-file-validate "$source/selfplay-view.desktop" || fail "desktop-file-validate"
fi
if need appstreamcli; then
  appstreamcli validate --no-net "$source/io.github.selfplay.selfplay_view.metainfo.xml" >/dev/null ||
    fail "appstreamcli validate"
fi

if [ -n "$package" ]; then
  contents=$(dpkg-deb --contents "$package") || fail "dpkg-deb cannot read $package"
  for file in $expected; do
    echo "$contents" | grep -q " \./usr/$file\$" || fail "$package does not hold /usr/$file"
  done
  # The programs come without their debugging sections; the stub comes
  # byte for byte as built.
  dpkg-deb -x "$package" "$prefix/deb" || fail "dpkg-deb cannot unpack $package"
  for program in selfplay-tool selfplay-view; do
    [ -f "$prefix/deb/usr/bin/$program" ] || continue
    if readelf -S "$prefix/deb/usr/bin/$program" | grep -q '\.debug_'; then
      fail "$package holds $program with its debugging sections"
    fi
  done
  if [ -f "$build/selfplay" ]; then
    cmp -s "$build/selfplay" "$prefix/deb/usr/bin/selfplay" || fail "$package holds another stub than the built one"
  fi
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures failures"
  exit 1
fi
echo "install tree: $(echo "$expected" | wc -l) files checked${package:+, and $package}"
