#!/usr/bin/env bash
# Builds the tool, makes the bundled example if it is not there, and rigs it.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build build -j "$(nproc)" --target Tolvan tolvan-make-example tolvan-convert
[ -f example/creature.anim.txt ] || build/tolvan-make-example example
build/Tolvan example/creature.anim.txt example/creature.rest.obj example/creature.rig.txt
echo "The rig is in example/creature.rig.txt"
build/tolvan-convert report example/creature.rest.obj example/creature.rig.txt example/creature.report.html --anim example/creature.anim.txt
