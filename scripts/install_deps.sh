#!/usr/bin/env bash
# Installs what the build (and, on request, the tests) need and is missing.
# Silent when everything is there; safe to run again and again.
#   scripts/install_deps.sh [build|tests|ci] [--dry-run]
#     build  Debian packages and npm packages the build needs (default)
#     tests  also the clients the tests run (npm packages, Blender, Chromium)
#     ci     also the compiler of the fuzz targets
#   --dry-run  print what would be installed, install nothing
# Debian packages need root; without it a missing build dependency stops the
# script with the command to run, a missing test client is named and skipped
# (its tests then say they are skipped). npm packages go to tools/node/.
set -euo pipefail
cd "$(dirname "$0")/.."

# One line per package: mode, kind, package, and how to see that it is there
# (default: Debian's package database for deb, tools/node for npm).
packages='
build  deb  cmake
build  deb  g++
build  deb  libgtest-dev
build  deb  libbenchmark-dev
build  deb  nlohmann-json3-dev
build  deb  nodejs              command:npm
build  npm  three@0.187.0
build  npm  esbuild@0.28.2
tests  npm  gltf-validator@2.0.0-dev.3.10
tests  npm  puppeteer-core@25.19.0
tests  deb  blender
tests  deb  python3-numpy
tests  deb  chromium
tests  deb  assimp-utils
tests  deb  assimp-testmodels
ci     deb  clang-14
ci     deb  libclang-rt-14-dev
'

mode=build
dry_run=false
for arg in "$@"; do
  case $arg in
    build | tests | ci) mode=$arg ;;
    --dry-run) dry_run=true ;;
    *) echo "install_deps.sh: unknown argument '$arg' (build, tests, ci, --dry-run)" >&2; exit 2 ;;
  esac
done
case $mode in
  build) modes='build' ;;
  tests) modes='build tests' ;;
  ci) modes='build tests ci' ;;
esac

deb_present() { # package [command:NAME]
  if [ -n "${2:-}" ]; then
    command -v "${2#command:}" > /dev/null
  else
    [ "$(dpkg-query -W -f='${Status}' "$1" 2> /dev/null)" = 'install ok installed' ]
  fi
}

npm_present() { # name@version
  local file="tools/node/node_modules/${1%@*}/package.json"
  [ -f "$file" ] && grep -q "\"version\": *\"${1##*@}\"" "$file"
}

deb_build=() deb_tests=() npm_all=() npm_missing=()
while read -r line_mode kind name check; do
  [ -n "$line_mode" ] || continue
  wanted=false
  case " $modes " in *" $line_mode "*) wanted=true ;; esac
  if [ "$kind" = npm ]; then
    # Installed packages of other modes are named too, so that npm keeps them.
    if $wanted || npm_present "$name"; then npm_all+=("$name"); fi
    if $wanted && ! npm_present "$name"; then npm_missing+=("$name"); fi
    continue
  fi
  $wanted || continue
  if [ "$kind" = deb ]; then
    deb_present "$name" ${check:+"$check"} && continue
    if [ "$line_mode" = build ]; then deb_build+=("$name"); else deb_tests+=("$name"); fi
  fi
done <<< "$packages"

deb_missing=("${deb_build[@]}" "${deb_tests[@]}")
if $dry_run; then
  [ ${#deb_missing[@]} -eq 0 ] || echo "apt-get install -y ${deb_missing[*]}"
  [ ${#npm_missing[@]} -eq 0 ] || echo "npm install --prefix tools/node --no-save ${npm_all[*]}"
  exit 0
fi

if [ ${#deb_missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    if [ ${#deb_build[@]} -gt 0 ]; then
      echo "install_deps.sh: the build needs ${deb_build[*]}; install with:" >&2
      echo "  sudo apt-get install -y ${deb_missing[*]}" >&2
      exit 1
    fi
    echo "install_deps.sh: ${deb_tests[*]} missing (their tests are skipped); install with:" >&2
    echo "  sudo apt-get install -y ${deb_tests[*]}" >&2
  else
    echo "install_deps.sh: installing ${deb_missing[*]} (apt-get)"
    export DEBIAN_FRONTEND=noninteractive
    log=$(mktemp)
    if ! { apt-get update -qq && apt-get install -y -qq "${deb_missing[@]}"; } > "$log" 2>&1; then
      tail -n 20 "$log" >&2
      echo "install_deps.sh: apt-get install ${deb_missing[*]} failed" >&2
      rm -f "$log"
      exit 1
    fi
    rm -f "$log"
  fi
fi

if [ ${#npm_missing[@]} -gt 0 ]; then
  # All of the mode's packages in one call: npm drops packages it was not
  # asked for from a folder without package.json.
  echo "install_deps.sh: installing ${npm_missing[*]} into tools/node (npm)"
  log=$(mktemp)
  if ! npm install --prefix tools/node --no-save --no-audit --no-fund --loglevel=error "${npm_all[@]}" > "$log" 2>&1; then
    tail -n 20 "$log" >&2
    echo "install_deps.sh: npm install --prefix tools/node ${npm_all[*]} failed" >&2
    rm -f "$log"
    exit 1
  fi
  rm -f "$log"
fi
