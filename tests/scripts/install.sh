#!/usr/bin/env bash
# cmake --install into a scratch prefix: the installed icp_tool and Python
# module find the prealignment's module from there, the desktop entry names
# an installed program and icon, and a project of its own finds the engine
# with find_package(VarkelIcp <version>) and links it.
source "$(dirname "$0")/lib/tool_common.sh"
source_dir=$2
prefix=$dir/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null || fail "cmake --install"
demo=("$source_dir/data/demo/mesh1.ply" "$source_dir/data/demo/mesh2.ply")
version=$(sed -n 's/^project(varkel_icp VERSION \([0-9.]*\) .*/\1/p' "$source_dir/CMakeLists.txt")

[ "$("$prefix/bin/icp_tool" --version)" = "icp_tool $version" ] || fail "installed icp_tool --version"
if [ -e "$build/lib/varkel_icp/icp_open3d.so" ]; then
  "$prefix/bin/icp_tool" prealign "${demo[@]}" 2>&1 | grep -q "^Prealignment succeeded" ||
    fail "installed icp_tool does not prealign"
fi
if ls "$build"/python/varkel_icp*.so >/dev/null 2>&1; then
  site=$(echo "$prefix"/lib/python3*/dist-packages)
  [ -e "$site/varkel_icp.pyi" ] || fail "no type stub in $site"
  PYTHONPATH=$site /usr/bin/python3 -c "
import sys, varkel_icp as v
assert v.__file__.startswith('$site'), v.__file__
assert v.__version__ == '$version'
found = v.prealign(v.Scan.read(sys.argv[1]), v.Scan.read(sys.argv[2])).found
assert found or not sys.argv[3], 'installed module does not prealign'
" "${demo[@]}" "$([ -e "$build/lib/varkel_icp/icp_open3d.so" ] && echo yes)" || fail "installed module"
fi
if [ -e "$build/app/icp_viewer" ]; then
  entry=$prefix/share/applications/varkel-icp.desktop
  grep -q "^Exec=icp_viewer$" "$entry" && [ -x "$prefix/bin/icp_viewer" ] || fail "desktop entry"
  [ -e "$prefix/share/icons/hicolor/scalable/apps/$(sed -n 's/^Icon=//p' "$entry").svg" ] || fail "icon"
fi

# A project of its own: loads a scan through the installed engine.
mkdir -p "$dir/user"
cat > "$dir/user/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.18)
project(user CXX)
set(CMAKE_CXX_STANDARD 17)
find_package(VarkelIcp $version REQUIRED CONFIG)
add_executable(user main.cpp)
target_link_libraries(user PRIVATE VarkelIcp::registration)
EOF
cat > "$dir/user/main.cpp" <<'EOF'
#include <cstdio>
#include "registration/load_scan.h"
int main(int, char** argv) {
  MeshSlot slot;
  if (!load_scan(slot, 0, argv[1])) return 1;
  std::printf("%zu\n", slot.mesh->vertices.size());
}
EOF
cmake -S "$dir/user" -B "$dir/user/build" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null &&
  cmake --build "$dir/user/build" >/dev/null || fail "find_package(VarkelIcp) project does not build"
[ "$("$dir/user/build/user" "${demo[0]}" 2>/dev/null)" = 24783 ] || fail "installed engine reads no scan"
echo "install: ok"
