#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs each for the given number of seconds,
# starting from its seed corpus in fuzz/corpus/TARGET. Findings are written
# to BUILD/TARGET/ and make the script fail.
# Usage: fuzz/run_fuzzers.sh SECONDS [TARGET...]   (targets: sequence rest_pose command_line,
# and the converter's readers gltf pc2 mdd, which need nlohmann-json3-dev)
# Environment: FUZZ_BUILD (default build-fuzz), CXX_FUZZ (default clang++ or clang++-14),
# FUZZ_MAX_LEN (default 4096).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:?usage: fuzz/run_fuzzers.sh SECONDS [TARGET...]}
shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(sequence rest_pose command_line)
build=${FUZZ_BUILD:-build-fuzz}
cxx=${CXX_FUZZ:-$(command -v clang++ || command -v clang++-14 || true)}
[ -n "$cxx" ] || { echo "run_fuzzers.sh: clang++ not found" >&2; exit 2; }

# The part of the tool the targets reach: readers, neighbourhood, command line.
sources=(src/linalg/dense.cpp src/linalg/vertex_tiles.cpp src/context/rigging_context.cpp src/context/skeleton_graph.cpp src/run/command_line.cpp
         src/io/text_reader.cpp src/io/number_text.cpp src/io/sequence_file.cpp
         src/io/rest_pose_file.cpp src/io/neighbours.cpp)
flags=(-std=c++20 -O1 -g -fno-omit-frame-pointer -ffp-contract=off -Wall -Wextra -Isrc -Ifuzz
       -fsanitize=address,undefined -fno-sanitize-recover=undefined)

mkdir -p "$build/obj"
objects=()
for src in "${sources[@]}"; do
  obj="$build/obj/$(basename "$src" .cpp).o"
  # Rebuilt when the source or any header is newer than the object.
  if [ ! "$obj" -nt "$src" ] || [ -n "$(find src fuzz -name '*.h' -newer "$obj" | head -1)" ]; then
    echo "compiling $src"
    "$cxx" "${flags[@]}" -fsanitize=fuzzer-no-link -c "$src" -o "$obj"
  fi
  objects+=("$obj")
done

# The converter's readers, compiled only when one of their targets runs.
tool_targets=" gltf pc2 mdd "
tool_sources=(tools/formats/obj_mesh.cpp tools/formats/gltf_container.cpp
              tools/formats/gltf_document.cpp tools/formats/gltf_accessor.cpp tools/formats/gltf_animation.cpp
              tools/formats/gltf_scene.cpp tools/formats/gltf_sampling.cpp tools/formats/weld.cpp
              tools/formats/point_cache.cpp)
tool_objects=()
for target in "${targets[@]}"; do
  [[ "$tool_targets" == *" $target "* ]] || continue
  mkdir -p "$build/obj/tools"
  for src in "${tool_sources[@]}"; do
    obj="$build/obj/tools/$(basename "$src" .cpp).o"
    if [ ! "$obj" -nt "$src" ] || [ -n "$(find tools/formats fuzz -name '*.h' -newer "$obj" | head -1)" ]; then
      echo "compiling $src"
      "$cxx" "${flags[@]}" -Itools -fsanitize=fuzzer-no-link -c "$src" -o "$obj"
    fi
    tool_objects+=("$obj")
  done
  break
done

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
for target in "${targets[@]}"; do
  [ -f "fuzz/${target}_fuzzer.cpp" ] || { echo "run_fuzzers.sh: no target $target" >&2; exit 2; }
  binary="$build/${target}_fuzzer"
  echo "building $binary"
  extra=()
  [[ "$tool_targets" != *" $target "* ]] || extra=(-Itools "${tool_objects[@]}")
  "$cxx" "${flags[@]}" -fsanitize=fuzzer "fuzz/${target}_fuzzer.cpp" "${objects[@]}" "${extra[@]}" -o "$binary"
  out="$build/$target"
  mkdir -p "$out/corpus"
  echo "== fuzzing $target for $seconds s"
  # The first folder collects the inputs found; the seeds stay untouched.
  status=0
  "$binary" -max_total_time="$seconds" -max_len="${FUZZ_MAX_LEN:-4096}" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$out/" "$out/corpus" "fuzz/corpus/$target" > "$out/log.txt" 2>&1 || status=$?
  grep -E '^#[0-9]+[[:space:]]+(DONE|pulse|NEW|REDUCE|INITED)' "$out/log.txt" | tail -1 || true
  grep -E '^(Done [0-9]+ runs|stat::number_of_executed_units|stat::peak_rss_mb)' "$out/log.txt" || true
  if [ "$status" -ne 0 ]; then
    tail -60 "$out/log.txt"
    echo "run_fuzzers.sh: $target found a problem (exit $status); inputs in $out/" >&2
    exit 1
  fi
done
