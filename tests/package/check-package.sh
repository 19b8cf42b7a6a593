#!/usr/bin/env bash
# The Debian package made from this build tree, as a person installing it gets
# it: its files and their modes, its control fields (Depends worked out from the
# programs' shared libraries), the packaged ovrinctl's commands all in its manual
# page and its completion, and what appstreamcli, desktop-file-validate and
# lintian (errors only) say about it. CPack installs the already-built tree into
# a temporary folder; nothing is compiled.
# Usage: check-package.sh CPACK BUILD_DIR VERSION   (CTest passes all three)
set -euo pipefail

cpack=${1:?usage: check-package.sh CPACK BUILD_DIR VERSION}
build=$(realpath "${2:?}")
version=${3:?}
command -v dpkg-deb >/dev/null || { echo "package: dpkg-deb is missing; skipped"; exit 77; }

started=$SECONDS
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "package: FAILED: $*"
  failures=$((failures + 1))
}

if ! "$cpack" --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  echo "package: FAILED: cpack"
  exit 1
fi
deb=$work/out/ovrin_${version}_$(dpkg --print-architecture).deb
[[ -f $deb ]] || { ls "$work/out"; echo "package: FAILED: no $(basename "$deb")"; exit 1; }
echo "package: made $(basename "$deb") ($((SECONDS - started)) s)"

# The files, with their modes; everything owned by root.
dpkg-deb -c "$deb" | awk '{ print $1, $2, $6 }' >"$work/list"
awk '$2 != "root/root" { print "package: FAILED: not owned by root:", $0 }' "$work/list" |
  grep . && failures=$((failures + 1))
expect() { # MODE PATH
  grep -qxF -- "$1 root/root ./usr/$2" "$work/list" || fail "no $1 /usr/$2"
}
for program in bin/ovrin bin/ovrinctl lib/ovrin/helper; do expect -rwxr-xr-x "$program"; done
for file in lib/ovrin/channels.json lib/ovrin/netcore lib/ovrin/menubar.svg \
  lib/ovrin/sample-servers/servers.json lib/ovrin/sample-servers/servers.json.sig \
  lib/ovrin/sample-servers/README.md \
  share/applications/org.ovrin.menubarapp.desktop \
  share/icons/hicolor/scalable/apps/org.ovrin.menubarapp.svg \
  share/metainfo/org.ovrin.menubarapp.metainfo.xml \
  share/man/man1/ovrin.1.gz share/man/man1/ovrinctl.1.gz \
  share/bash-completion/completions/ovrinctl \
  share/doc/ovrin/copyright share/doc/ovrin/changelog.gz; do
  expect -rw-r--r-- "$file"
done
sizes=(16 22 24 32 48 64 128 256)
for size in "${sizes[@]}"; do
  expect -rw-r--r-- "share/icons/hicolor/${size}x${size}/apps/org.ovrin.menubarapp.png"
done

# The control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[[ $(field Package) == ovrin ]] || fail "Package: $(field Package)"
[[ $(field Version) == "$version" ]] || fail "Version: $(field Version)"
[[ $(field Section) == net ]] || fail "Section: $(field Section)"
[[ $(field Priority) == optional ]] || fail "Priority: $(field Priority)"
[[ $(field Maintainer) == "Ovrin developers <dev@ovrin.test>" ]] || fail "Maintainer: $(field Maintainer)"
depends=$(field Depends)
echo "package: Depends: $depends"
for library in libqt6core6 libqt6gui6 libqt6widgets6 libqt6svg6 libqt6dbus6 'libzip[0-9]+' 'libssl3[a-z0-9]*'; do
  [[ $depends =~ (^|, )$library\ \(\>=\ [^\)]+\) ]] || fail "Depends has no versioned $library"
done
field Description | tr '\n' ' ' | grep -q 'simulates tunnels.*carries no traffic' ||
  fail "the description does not say that the helper simulates tunnels and carries no traffic"

# The installed files themselves.
root=$work/root
dpkg-deb -x "$deb" "$root"
share=$root/usr/share
desktop=$share/applications/org.ovrin.menubarapp.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate"
grep -qx 'Exec=ovrin %u' "$desktop" || fail "the desktop entry does not run 'ovrin %u'"
grep -qx 'MimeType=x-scheme-handler/ovrin;' "$desktop" || fail "the desktop entry takes no ovrin: links"
metainfo=$share/metainfo/org.ovrin.menubarapp.metainfo.xml
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
grep -qF '<launchable type="desktop-id">org.ovrin.menubarapp.desktop</launchable>' "$metainfo" ||
  fail "the metadata does not launch the desktop entry"
for size in "${sizes[@]}"; do # a PNG's width and height, big-endian, at bytes 16 and 20
  png=$share/icons/hicolor/${size}x${size}/apps/org.ovrin.menubarapp.png
  read -r width height < <(od -An -tu1 -j16 -N8 "$png" |
    awk '{ print ($1 * 2^24 + $2 * 2^16 + $3 * 2^8 + $4), ($5 * 2^24 + $6 * 2^16 + $7 * 2^8 + $8) }')
  [[ $width == "$size" && $height == "$size" ]] || fail "the ${size}x$size icon is ${width}x$height"
done
for page in ovrin ovrinctl; do
  LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$share/man/man1/$page.1.gz" \
    >"$work/$page.txt" 2>"$work/$page.warnings" || fail "man $page"
  if [[ -s $work/$page.warnings ]] || ! grep -q . "$work/$page.txt"; then
    cat "$work/$page.warnings"
    fail "the $page manual page does not render cleanly"
  fi
done

# Every command the packaged ovrinctl lists is in its manual page and its completion.
commands=$("$root/usr/bin/ovrinctl" --help | sed -n 's/^  ovrinctl \([a-z]*\).*/\1/p' | sort -u)
[[ $(wc -l <<<"$commands") -ge 10 ]] || fail "ovrinctl --help lists only: $commands"
completion=$share/bash-completion/completions/ovrinctl
# The manual page's entries: the first word after each .TP.
entries=$(zcat "$share/man/man1/ovrinctl.1.gz" | awk 'previous == ".TP" { print } { previous = $0 }' |
  sed -E 's/^\.[A-Z]+ "?([a-z]*).*/\1/')
for command in $commands; do
  grep -qx "$command" <<<"$entries" || fail "the ovrinctl manual page has no entry for '$command'"
  complete=$(bash -c 'source "$1"; COMP_WORDS=(ovrinctl "${2:0:3}"); COMP_CWORD=1; _ovrinctl
                      printf "%s\n" "${COMPREPLY[@]}"' _ "$completion" "$command")
  grep -qx "$command" <<<"$complete" || fail "the completion does not offer '$command'"
done
for fixed in "protection on off" "autoconnect on off" "logs export clear"; do
  read -ra words <<<"$fixed"
  set -- "${words[@]}"
  complete=$(bash -c 'source "$1"; COMP_WORDS=(ovrinctl "$2" ""); COMP_CWORD=2; _ovrinctl
                      printf "%s\n" "${COMPREPLY[@]}"' _ "$completion" "$1")
  for argument in "${@:2}"; do
    grep -qx "$argument" <<<"$complete" || fail "the completion of '$1' does not offer '$argument'"
  done
done

# lintian: errors fail, warnings are listed.
lintian_started=$SECONDS
if ! lintian --fail-on error --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1; then
  fail "lintian reports errors"
fi
grep -v '^running with root privileges' "$work/lintian.log" || true
echo "package: lintian took $((SECONDS - lintian_started)) s; the whole check $((SECONDS - started)) s"

if ((failures > 0)); then
  echo "package: $failures check(s) failed"
  exit 1
fi
echo "package: all checks passed"
