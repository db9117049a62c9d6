# Sourced by the setup scripts: fetches a Debian source package through a
# private apt configuration under build-deps/apt. Its deb-src entries are
# made from the machine's own binary entries, so nothing in /etc/apt changes.
#
#   debian_source PACKAGE DEST CHECK_FILE CHECK_PATTERN
# unpacks PACKAGE's source into DEST unless DEST/CHECK_FILE is there; fails
# when the unpacked CHECK_FILE does not hold CHECK_PATTERN (grep regex), so
# that a different upstream version is never built by mistake.

debian_source_apt_opts() {
  local apt_dir="$1"
  apt_opts=(
    -o Dir::Etc::SourceList=/dev/null
    -o Dir::Etc::SourceParts="$apt_dir/sources"
    -o Dir::State::Lists="$apt_dir/lists"
    -o Dir::Cache="$apt_dir/cache"
    -o Debug::NoLocking=1
    -o APT::Sandbox::User=root
  )
}

debian_source_prepare() {
  local apt_dir="$1"
  [ -f "$apt_dir/updated" ] && return 0
  mkdir -p "$apt_dir/sources" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
  # deb-src twins of the system's deb822 entries (one-line entries too).
  : > "$apt_dir/sources/src.sources"
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    sed -e 's/^Types:.*/Types: deb-src/' "$f" >> "$apt_dir/sources/src.sources"
    echo >> "$apt_dir/sources/src.sources"
  done
  : > "$apt_dir/sources/src.list"
  if [ -f /etc/apt/sources.list ]; then
    sed -n -e 's/^deb \(.*\)$/deb-src \1/p' /etc/apt/sources.list >> "$apt_dir/sources/src.list"
  fi
  debian_source_apt_opts "$apt_dir"
  apt-get "${apt_opts[@]}" update -q
  touch "$apt_dir/updated"
}

debian_source_orig_only() {
  local fetch="$1" dsc orig sum
  dsc=$(find "$fetch" -maxdepth 1 -name '*.dsc' | head -n1)
  orig=$(find "$fetch" -maxdepth 1 -name '*.orig.tar.*' | head -n1)
  [ -n "$dsc" ] && [ -n "$orig" ] || return 1
  sum=$(sed -n '/^Checksums-Sha256:/,/^[^ ]/p' "$dsc" | awk -v f="$(basename "$orig")" '$3 == f {print $1}')
  if [ -z "$sum" ] || [ "$(sha256sum "$orig" | cut -d' ' -f1)" != "$sum" ]; then
    echo "$(basename "$orig") does not match its .dsc" >&2
    return 1
  fi
  echo "unpacking $(basename "$orig") without the Debian patches"
  tar -xf "$orig" -C "$fetch"
}

debian_source() {
  local package="$1" dest="$2" check_file="$3" check_pattern="$4"
  local work
  work="$(dirname "$dest")"
  if [ -f "$dest/$check_file" ] && grep -q "$check_pattern" "$dest/$check_file"; then
    return 0
  fi
  local apt_dir="$work/apt"
  debian_source_prepare "$apt_dir"
  debian_source_apt_opts "$apt_dir"
  local fetch="$work/fetch-$package"
  rm -rf "$fetch" && mkdir -p "$fetch"
  if ! (cd "$fetch" && apt-get "${apt_opts[@]}" source -q "$package"); then
    # A mirror may lack the Debian part while it has the upstream tarball:
    # then that tarball, checked against the signed .dsc's checksum, is
    # unpacked without Debian's patches.
    debian_source_orig_only "$fetch" || return 1
  fi
  local unpacked
  unpacked=$(find "$fetch" -mindepth 1 -maxdepth 1 -type d -name "$package-*" | head -n1)
  if [ -z "$unpacked" ] || ! grep -q "$check_pattern" "$unpacked/$check_file"; then
    echo "$package source not found (wanted $check_pattern in $check_file)" >&2
    return 1
  fi
  rm -rf "$dest" && mv "$unpacked" "$dest"
  rm -rf "$fetch"
}
