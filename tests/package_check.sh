#!/bin/sh
# Checks the Debian packages that make package wrote, without installing
# them: each package's files and control fields (dpkg-deb -c, -f), that no
# two packages ship the same path, lintian's verdict (no errors), the service
# units (systemd-analyze verify, where systemd provides it), and that cpack
# stops with what to install when dpkg-deb is missing.
#   package_check.sh PACKAGE_DIR PACKAGE_TREE
set -eu
packages=$1
tree=$2
source=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# The packages the tree makes (a component without files makes none); the
# library, its development files, the bot and the servers always.
listed=$(cat "$tree/packaging/packages.txt")
for name in liborbilo-sdk1 liborbilo-sdk-dev orbilo orbilo-server; do
  echo "$listed" | grep -qx "$name" || fail "$name is not among the packages made"
done
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$tree/CPackConfig.cmake")
deb_of() {
  set -- "$packages/$1"_*.deb
  [ -f "$1" ] && echo "$1"
}

# Per package: its section, the files it must hold, and what its Depends must
# name. "(=V)" stands for "(= VERSION)"; the library dependencies (libc6,
# libstdc++6, Qt) are computed by dpkg-shlibdeps, never typed.
expect() {
  name=$1 section=$2 files=$3 depends=$4
  deb=$(deb_of "$name") || { fail "$name: no .deb in $packages"; return; }
  dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./||' > "$scratch/$name.files"
  [ "$(dpkg-deb -f "$deb" Package)" = "$name" ] || fail "$name: Package field"
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "$name: version is not $version"
  [ "$(dpkg-deb -f "$deb" Section)" = "$section" ] || fail "$name: section is not $section"
  [ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "$name: no maintainer"
  [ "$(dpkg-deb -f "$deb" Description | wc -l)" -ge 3 ] || fail "$name: no long description"
  for file in $files usr/share/doc/$name/copyright usr/share/doc/$name/changelog.gz; do
    grep -qx "$file" "$scratch/$name.files" || fail "$name: lacks $file"
  done
  field=$(dpkg-deb -f "$deb" Depends)
  for item in $depends; do
    item=$(echo "$item" | sed "s/(=V)/ (= $version)/")
    echo "$field" | tr ',' '\n' | grep -q "^ *$item" || fail "$name: Depends '$field' lacks '$item'"
  done
}
lib=usr/lib
doc=usr/share/doc/liborbilo-sdk-dev
units=usr/lib/systemd/system
expect liborbilo-sdk1 libs "$lib/liborbilo_sdk.so.1 $lib/liborbilo_sdk.so.1.0.0" "libc6 libstdc++6"
expect liborbilo-sdk-dev libdevel "usr/include/orbilo/sdk.h usr/include/orbilo/result_codes.h
  $lib/liborbilo_sdk.so $lib/liborbilo_sdk.a $lib/pkgconfig/orbilo-sdk.pc
  $lib/cmake/OrbiloSdk/OrbiloSdkConfig.cmake $lib/cmake/OrbiloSdk/OrbiloSdkTargets.cmake
  $doc/guide.md $doc/examples/hello-bot.c $doc/examples/greeter.c $doc/examples/own-loop.c
  $doc/examples/greeter.cpp" "liborbilo-sdk1(=V)"
expect orbilo net "usr/bin/orbilo usr/bin/orbilo-console $units/orbilo-console@.service
  usr/share/applications/orbilo.desktop usr/share/pixmaps/orbilo.png" "libc6 libqt6widgets6"
expect orbilo-server net "usr/bin/orbilo-server etc/orbilo/orbilo-server.conf
  $units/orbilo-server.service" "libc6 libstdc++6"
if echo "$listed" | grep -qx python3-orbilo; then
  expect python3-orbilo python "usr/lib/python3/dist-packages/orbilo/__init__.py" \
    "python3 liborbilo-sdk1(=V)"
  deb=$(deb_of python3-orbilo) && [ "$(dpkg-deb -f "$deb" Architecture)" = all ] ||
    fail "python3-orbilo: not Architecture all"
else
  echo "python3-orbilo: not made (the tree installs nothing as the component python)"
fi

# The library package alone holds the soname and tells dpkg-shlibdeps so; the
# development package holds the link name; no path is in two packages.
sdk=$(deb_of liborbilo-sdk1) || sdk=/dev/null
dpkg-deb --info "$sdk" shlibs 2>/dev/null | grep -qx "liborbilo_sdk 1 liborbilo-sdk1 (>= $version)" ||
  fail "liborbilo-sdk1: shlibs does not name liborbilo_sdk 1"
dpkg-deb --info "$sdk" triggers 2>/dev/null | grep -q "ldconfig" || fail "liborbilo-sdk1: no ldconfig trigger"
grep -qs "liborbilo_sdk\.so$" "$scratch/liborbilo-sdk1.files" && fail "liborbilo-sdk1 holds the link name"
cat "$scratch"/*.files | grep -v '/$' | sort | uniq -d > "$scratch/twice"
[ -s "$scratch/twice" ] && fail "in two packages: $(cat "$scratch/twice")"

# The server's configuration: the example, a conffile, readable by root alone
# (it holds passwords).
server=$(deb_of orbilo-server) || server=/dev/null
dpkg-deb --info "$server" conffiles 2>/dev/null | grep -qx /etc/orbilo/orbilo-server.conf ||
  fail "orbilo-server: the configuration is not a conffile"
dpkg-deb -c "$server" > "$scratch/server.list" 2>&1 || true
grep -q '^-rw------- root/root .* \./etc/orbilo/orbilo-server.conf$' "$scratch/server.list" ||
  fail "orbilo-server: the configuration is not root's alone"
mkdir -p "$scratch/root"
for deb in "$packages"/*.deb; do dpkg-deb -x "$deb" "$scratch/root"; done
cmp -s "$scratch/root/etc/orbilo/orbilo-server.conf" "$source/server/orbilo-server.example.conf" ||
  fail "orbilo-server: the configuration is not the example"

# The unpacked programs run from where the packages put them: the server,
# and the binding with the library of liborbilo-sdk1 beside it.
"$scratch/root/usr/bin/orbilo-server" --help > "$scratch/out" 2>&1 ||
  fail "the packaged orbilo-server --help: $(head -3 "$scratch/out")"
if [ -d "$scratch/root/usr/lib/python3/dist-packages/orbilo" ] && command -v python3 > /dev/null; then
  env -u ORBILO_SDK_LIBRARY PYTHONPATH="$scratch/root/usr/lib/python3/dist-packages" python3 -c '
import sys, orbilo
sys.exit(not (orbilo._lib._name.startswith(sys.argv[1]) and orbilo.result_text(0)))' \
    "$scratch/root/usr/lib/" > "$scratch/out" 2>&1 ||
    fail "the packaged binding does not load the packaged library: $(tail -3 "$scratch/out")"
fi

# What the units promise: a bot a directory of /var/lib/orbilo, under a user
# of its own, restarted on failure, stopped by SIGTERM; the servers with the
# configuration under /etc.
while read -r unit line; do
  grep -qxF "$line" "$scratch/root/$units/$unit" || fail "$unit lacks: $line"
done <<'UNITS'
orbilo-console@.service ExecStart=/usr/bin/orbilo-console
orbilo-console@.service DynamicUser=yes
orbilo-console@.service StateDirectory=orbilo/%i
orbilo-console@.service WorkingDirectory=%S/orbilo/%i
orbilo-console@.service AssertPathExists=/var/lib/orbilo/%i/orbilo.ini
orbilo-console@.service Restart=on-failure
orbilo-console@.service KillSignal=SIGTERM
orbilo-server.service LoadCredential=orbilo-server.conf:/etc/orbilo/orbilo-server.conf
orbilo-server.service ExecStart=/usr/bin/orbilo-server --no-admin --config %d/orbilo-server.conf
orbilo-server.service DynamicUser=yes
orbilo-server.service Restart=on-failure
orbilo-server.service KillSignal=SIGTERM
UNITS

# systemd-analyze reads the units from the unpacked packages, beside the
# system's own units; anything it says is a fault.
if command -v systemd-analyze > /dev/null && [ -d /usr/lib/systemd/system ]; then
  cp -a /usr/lib/systemd/system/. "$scratch/root/$units/"
  for deb in "$packages"/*.deb; do dpkg-deb -x "$deb" "$scratch/root"; done
  if ! systemd-analyze verify --root="$scratch/root" orbilo-server.service \
       orbilo-console@check.service > "$scratch/verify" 2>&1 || [ -s "$scratch/verify" ]; then
    cat "$scratch/verify"
    fail "systemd-analyze verify"
  fi
else
  echo "systemd-analyze is missing (Debian's package systemd brings it): the units are not verified"
fi

# lintian: errors fail; warnings are listed.
if command -v lintian > /dev/null; then
  lintian --fail-on error "$packages"/*.deb > "$scratch/lintian" 2>&1 || {
    cat "$scratch/lintian"
    fail "lintian reports errors"
  }
  grep '^[EW]:' "$scratch/lintian" || true
else
  fail "lintian is missing (make package installs it)"
fi

# cpack on a machine without dpkg-deb says what to install and stops.
mkdir "$scratch/bin"
ln -s "$(command -v cpack)" "$scratch/bin/cpack"
status=0
PATH=$scratch/bin cpack --config "$tree/CPackConfig.cmake" -B "$scratch/cpack" > "$scratch/out" 2>&1 ||
  status=$?
[ "$status" != 0 ] && tr -s ' \n' '  ' < "$scratch/out" |
  grep -q "dpkg-deb not found: the Debian packages need it. Install it with: apt-get install dpkg-dev" ||
  { cat "$scratch/out"; fail "cpack without dpkg-deb (exit $status)"; }
[ -z "$(find "$scratch/cpack" -name '*.deb' 2> /dev/null)" ] || fail "cpack without dpkg-deb made packages"

if [ "$failures" -gt 0 ]; then
  echo "package check: $failures failed"
  exit 1
fi
echo "package check: $(ls "$packages"/*.deb | wc -l) packages pass"
