#!/usr/bin/env bash
# scripts/install_deps.sh on machines in various states, played by fake
# dpkg-query, id, apt-get and npm in front of PATH: a copy of the script in a
# scratch tree, so nothing real is installed or removed.
set -uo pipefail
source_script=$(cd "$(dirname "$0")/../.." && pwd)/scripts/install_deps.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/tree/scripts"
cp "$source_script" "$work/tree/scripts/"
all_deb="cmake g++ libgtest-dev libbenchmark-dev nlohmann-json3-dev blender python3-numpy chromium assimp-utils assimp-testmodels clang-14 libclang-rt-14-dev"
all_npm="three@0.187.0 esbuild@0.28.2 gltf-validator@2.0.0-dev.3.10 puppeteer-core@25.19.0"
cat > "$work/bin/dpkg-query" <<'F'
#!/usr/bin/env bash
grep -qx "${@: -1}" "$STATE/installed" && printf 'install ok installed'
F
cat > "$work/bin/id" <<'F'
#!/usr/bin/env bash
echo "$FAKE_UID"
F
cat > "$work/bin/apt-get" <<'F'
#!/usr/bin/env bash
echo "apt-get $*" >> "$STATE/log"
F
cat > "$work/bin/npm" <<'F'
#!/usr/bin/env bash
echo "npm $*" >> "$STATE/log"
F
chmod +x "$work/bin/"*

failures=0
# name | mode and options | uid | Debian packages missing | npm packages missing | exit | expected text (log, stdout, stderr)
while IFS='|' read -r name args uid deb npm code expected; do
  [ -n "$name" ] || continue
  export STATE="$work/state" FAKE_UID=$((uid))
  rm -rf "$STATE" "$work/tree/tools"
  mkdir -p "$STATE"
  touch "$STATE/log"
  for p in $all_deb; do [[ " $deb " == *" $p "* ]] || echo "$p" >> "$STATE/installed"; done
  for p in $all_npm; do
    [[ " $npm " == *" ${p%@*} "* ]] && continue
    mkdir -p "$work/tree/tools/node/node_modules/${p%@*}"
    echo "{ \"name\": \"${p%@*}\", \"version\": \"${p##*@}\" }" > "$work/tree/tools/node/node_modules/${p%@*}/package.json"
  done
  # shellcheck disable=SC2086
  PATH="$work/bin:$PATH" bash "$work/tree/scripts/install_deps.sh" $args > "$STATE/out" 2> "$STATE/err"
  got=$?
  all=$(cat "$STATE/log" "$STATE/out" "$STATE/err")
  if [ "$got" -ne "$((code))" ] || { [ -n "${expected// /}" ] && [[ "$all" != *"$(echo $expected)"* ]]; } ||
     { [ -z "${expected// /}" ] && [ -n "$all" ]; }; then
    echo "FAILED: $name: exit $got (expected $code); expected '$(echo $expected)' in:"
    echo "$all"
    failures=$((failures + 1))
  fi
done <<'CASES'
all there: silent              | tests     | 0    |                          |                | 0 |
all there, not root: silent    | ci        | 1000 |                          |                | 0 |
build needs JSON, not root     | build     | 1000 | nlohmann-json3-dev blender |              | 1 | sudo apt-get install -y nlohmann-json3-dev
build mode ignores test clients| build     | 0    | blender chromium         |                | 0 |
test client missing, not root  | tests     | 1000 | blender                  |                | 0 | blender missing (their tests are skipped)
as root: one apt-get call      | tests     | 0    | nlohmann-json3-dev blender |              | 0 | apt-get install -y -qq nlohmann-json3-dev blender
fuzz compiler only in ci       | ci        | 0    | clang-14                 |                | 0 | apt-get install -y -qq clang-14
npm: the whole list at once    | tests     | 0    |                          | gltf-validator | 0 | three@0.187.0 esbuild@0.28.2 gltf-validator@2.0.0-dev.3.10 puppeteer-core@25.19.0
npm: keeps the tests' packages | build     | 0    |                          | three          | 0 | three@0.187.0 esbuild@0.28.2 gltf-validator@2.0.0-dev.3.10 puppeteer-core@25.19.0
dry run installs nothing       | tests --dry-run | 0 | chromium              | esbuild        | 0 | apt-get install -y chromium
CASES
exit $((failures > 0))
