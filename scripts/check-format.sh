#!/usr/bin/env bash
# Fails when a C++ file under src/, helper/, tests/, tools/ or bench/ is not
# formatted as .clang-format says. Usage: check-format.sh [clang-format]
set -euo pipefail
cd "$(dirname "$0")/.."
tool=${1:-clang-format}
mapfile -t files < <(git ls-files --cached --others --exclude-standard -- \
  'src/*.cpp' 'src/*.h' 'helper/*.cpp' 'helper/*.h' 'tests/*.cpp' 'tests/*.h' \
  'tools/*.cpp' 'tools/*.h' 'bench/*.cpp' 'bench/*.h')
[[ ${#files[@]} -eq 0 ]] && exit 0
"$tool" --dry-run --Werror "${files[@]}"
echo "format: ${#files[@]} files clean"
