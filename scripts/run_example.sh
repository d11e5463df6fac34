#!/usr/bin/env bash
# Installs what the build needs (if missing), builds every program, makes the
# bundled example if it is not there, rigs it and exports the rig to glTF.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install_deps.sh build
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build build -j "$(nproc)" --target Tolvan tolvan-make-example tolvan-convert
[ -f example/creature.anim.txt ] || build/tolvan-make-example example
build/Tolvan example/creature.anim.txt example/creature.rest.obj example/creature.rig.txt
# 24 frames per second: Blender's default scene rate, so keys land on whole frames.
build/tolvan-convert export-gltf example/creature.rest.obj example/creature.rig.txt example/creature.glb --fps 24
build/tolvan-convert report example/creature.rest.obj example/creature.rig.txt example/creature.report.html --anim example/creature.anim.txt
echo "The rig is in example/creature.rig.txt, the animated, skinned glTF file in example/creature.glb,"
echo "the report in example/creature.report.html"
