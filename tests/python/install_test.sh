#!/bin/sh
# Installs the build tree into a scratch prefix: the package lands in
# PREFIX/lib/python3/dist-packages/orbilo, its component "python" holds no
# library but the package, and with PYTHONPATH set the package imports and
# loads the library installed beside it.
#   install_test.sh BUILD_DIR PYTHON
set -eu
build=$1
python=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
site=lib/python3/dist-packages

cmake --install "$build" --prefix "$scratch/component" --component python > /dev/null
listed=$(cd "$scratch/component" && find . -type f | sort | tr '\n' ' ')
case $listed in
  "./$site/orbilo/__init__.py "*"./$site/orbilo/_constants.py "*) ;;
  *) echo "the python component holds: $listed"; exit 1 ;;
esac
if (cd "$scratch/component" && find ./lib -type f | grep -v "^\./$site/orbilo/[a-z_]*\.py$"); then
  echo "the python component holds libraries besides the package"; exit 1
fi

cmake --install "$build" --prefix "$scratch/prefix" > /dev/null
loaded=$(cd / && env -u ORBILO_SDK_LIBRARY -u LD_LIBRARY_PATH PYTHONPATH="$scratch/prefix/$site" \
  "$python" -c "import orbilo; print(orbilo._lib._name, orbilo.EVENT_CHAT, orbilo.RC_NO_INSTANCE)")
[ "$loaded" = "$scratch/prefix/lib/liborbilo_sdk.so.1 6 445" ] || { echo "imported: $loaded"; exit 1; }
