#!/bin/sh
# Builds the libFuzzer harnesses with clang into build-fuzz/ and runs each for SECONDS (default 20),
# one after another, starting from its seed corpus in fuzz/corpus/<harness>/. Exits non-zero when any
# harness finds a crash, a leak or a sanitizer report; the reproducer is left in build-fuzz/artifacts/.
# With FUZZ_MERGE=1 the inputs that found new paths are minimised back into fuzz/corpus/<harness>/.
#   scripts/fuzz.sh [SECONDS]
set -eu
cd "$(dirname "$0")/.."
seconds="${1:-20}"
harnesses="key_decoder_fuzz console_output_fuzz server_packet_fuzz event_display_fuzz make_message_fuzz input_item_fuzz"

scripts/setup.sh
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCHAT_FUZZ=ON -DCHAT_TESTS=OFF >/dev/null
cmake --build build-fuzz --target chat_fuzzers -j "$(nproc)"

failed=""
for harness in $harnesses; do
    seeds="fuzz/corpus/$harness"
    work="build-fuzz/corpus/$harness"
    artifacts="build-fuzz/artifacts/$harness/"
    log="build-fuzz/$harness.log"
    mkdir -p "$seeds" "$work" "$artifacts"
    echo "== $harness: ${seconds}s"
    # The work corpus takes what the run finds; the seeds stay as they are.
    if ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        "build-fuzz/fuzz/$harness" "$work" "$seeds" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 -artifact_prefix="$artifacts" \
        </dev/null >"$log" 2>&1; then
        grep -E 'stat::number_of_executed_units|stat::new_units_added' "$log" | tr '\n' ' '
        echo
    else
        failed="$failed $harness"
        tail -n 40 "$log"
        echo "== $harness FAILED (log: $log, reproducer in $artifacts)"
    fi
    if [ "${FUZZ_MERGE:-0}" = 1 ]; then
        "build-fuzz/fuzz/$harness" -merge=1 -artifact_prefix="$artifacts" "$seeds" "$work" \
            </dev/null >/dev/null 2>&1 || true
    fi
done

if [ -n "$failed" ]; then
    echo "Fuzzers that found a fault:$failed"
    exit 1
fi
echo "All fuzzers ran ${seconds}s each without a finding."
