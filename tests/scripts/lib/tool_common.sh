# Sourced by the icp_tool script tests (arguments: build dir, source dir).
# Sets `tool` to the built icp_tool and `dir` to a fresh temporary folder
# removed on exit, and defines fail(), which reports and exits 1.
set -u
build=$1
tool="$build/tools/icp_tool"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
