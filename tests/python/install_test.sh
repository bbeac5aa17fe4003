#!/bin/sh
# Installs the build tree into a scratch prefix: the package lands in
# PREFIX/lib/python3/dist-packages/orbilo, its component "python" holds no
# library but the package, and with PYTHONPATH set the package imports and
# loads the library installed beside it. Where the interpreter has pip,
# pip install of the source tree's package needs no package index.
#   install_test.sh BUILD_DIR PYTHON SOURCE_DIR
set -eu
build=$1 python=$2 source=$3
site=lib/python3/dist-packages
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

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

"$python" -m pip --version > /dev/null 2>&1 || exit 0
cp -r "$source/python" "$scratch/source"  # pip may build in the tree it is given
PIP_ROOT_USER_ACTION=ignore "$python" -m pip install --quiet --no-index --no-compile --target "$scratch/pip" "$scratch/source" > /dev/null
loaded=$(cd / && ORBILO_SDK_LIBRARY="$scratch/prefix/lib/liborbilo_sdk.so.1" PYTHONPATH="$scratch/pip" \
  "$python" -c "import orbilo; print(orbilo.__file__, orbilo.RC_NO_INSTANCE)")
[ "$loaded" = "$scratch/pip/orbilo/__init__.py 445" ] || { echo "pip's package: $loaded"; exit 1; }
