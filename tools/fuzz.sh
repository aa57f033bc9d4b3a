#!/usr/bin/env bash
# The libFuzzer harnesses of tests/fuzz, built by clang in a build of their own
# ($PELLAVINE_FUZZ_BUILD_DIR, by default build/fuzz).
#
#   tools/fuzz.sh build                 configure and build the harnesses
#   tools/fuzz.sh list                  the harnesses' names
#   tools/fuzz.sh brief NAME            a few seconds over the seed corpus (the ctest "fuzz" tests)
#   tools/fuzz.sh run NAME|all [--time SECONDS] [--runs N] [--keep] [-- LIBFUZZER-OPTIONS...]
#                                       fuzz one harness or each in turn, in this one process;
#                                       new inputs go to the build's corpus folder, and into the
#                                       repository's seed corpus (minimised) only with --keep
#   tools/fuzz.sh replay NAME FILE...   run the harness once over the given inputs
#
# Exits 77 ("skipped") where clang or its libFuzzer runtime is missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PELLAVINE_FUZZ_BUILD_DIR:-${PELLAVINE_BUILD_DIR:-$root/build}/fuzz}
seeds=$root/tests/fuzz/corpus
names=(cp1251_fuzz settings_file_fuzz address_history_fuzz black_list_fuzz receiver_fuzz)
# Every run: a hung input is a finding, and so is one that grows without bound.
common=(-timeout=30 -rss_limit_mb=3072 -print_final_stats=1)
# The receiving end runs some ten inputs where the others run thousands: let its inputs grow to
# scripts of several operations sooner.
own_options() { [[ $1 == receiver_fuzz ]] && echo -len_control=10; true; }

usage() { sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }

need_clang() {
    local cxx
    cxx=$(command -v clang++ || true)
    if [[ -z $cxx ]]; then
        echo "skipped: clang++ is not installed (tools/install-deps.sh --tests installs it)"
        exit 77
    fi
    local probe
    probe=$(mktemp -d)
    printf '%s\n' '#include <cstdint>' '#include <cstddef>' \
        'extern "C" int LLVMFuzzerTestOneInput(const uint8_t*, size_t) { return 0; }' >"$probe/probe.cpp"
    if ! "$cxx" -fsanitize=fuzzer,address,undefined "$probe/probe.cpp" -o "$probe/probe" >"$probe/log" 2>&1; then
        echo "skipped: clang++ cannot link a libFuzzer program (is libclang-rt-14-dev installed?):"
        cat "$probe/log"
        rm -rf "$probe"
        exit 77
    fi
    rm -rf "$probe"
}

harness() {
    local name=$1 known
    for known in "${names[@]}"; do
        if [[ $known == "$name" ]]; then
            [[ -x $build/fuzzers/$name ]] || { echo "$build/fuzzers/$name is missing: run tools/fuzz.sh build" >&2; exit 1; }
            return
        fi
    done
    echo "No harness called '$name'; there are: ${names[*]}" >&2
    exit 2
}

do_build() {
    need_clang
    cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DPELLAVINE_FUZZ=ON \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only" >/dev/null
    cmake --build "$build" --target pv_fuzzers -j"$(nproc)"
}

# A few seconds over the seeds; what it finds goes to a scratch folder, crashes to the build.
do_brief() {
    need_clang
    local name=$1
    harness "$name"
    local scratch
    scratch=$(mktemp -d)
    trap 'rm -rf "$scratch"' RETURN
    mkdir -p "$build/artifacts/$name"
    "$build/fuzzers/$name" "${common[@]}" $(own_options "$name") -max_total_time=4 \
        -artifact_prefix="$build/artifacts/$name/" "$scratch" "$seeds/$name"
}

do_run() {
    need_clang
    local which=$1
    shift
    local limits=() keep=0 extra=()
    while [[ $# -gt 0 ]]; do
        case $1 in
            --time) limits+=(-max_total_time="$2"); shift 2 ;;
            --runs) limits+=(-runs="$2"); shift 2 ;;
            --keep) keep=1; shift ;;
            --) shift; extra=("$@"); break ;;
            *) usage ;;
        esac
    done
    local list=("$which")
    [[ $which == all ]] && list=("${names[@]}")
    local name
    for name in "${list[@]}"; do
        harness "$name"
        local corpus=$build/corpus/$name
        mkdir -p "$corpus" "$build/artifacts/$name"
        echo "=== $name"
        "$build/fuzzers/$name" "${common[@]}" $(own_options "$name") -artifact_prefix="$build/artifacts/$name/" \
            "${limits[@]}" "${extra[@]}" "$corpus" "$seeds/$name"
        if [[ $keep -eq 1 ]]; then
            # Only inputs that add coverage to the seeds are copied into the repository.
            "$build/fuzzers/$name" -merge=1 "$seeds/$name" "$corpus"
        fi
    done
}

do_replay() {
    need_clang
    local name=$1
    shift
    harness "$name"
    "$build/fuzzers/$name" -runs=1 "$@"
}

[[ $# -ge 1 ]] || usage
command=$1
shift
case $command in
    build) do_build ;;
    list) printf '%s\n' "${names[@]}" ;;
    brief) [[ $# -eq 1 ]] || usage; do_brief "$1" ;;
    run) [[ $# -ge 1 ]] || usage; do_run "$@" ;;
    replay) [[ $# -ge 2 ]] || usage; do_replay "$@" ;;
    *) usage ;;
esac
