# Runs one fuzz target for a fixed time from a fresh corpus folder in the
# build tree. FUZZER, WORK, SECONDS and SEEDS ("|"-separated) are given with -D.
# An input may take seconds without hanging: a 3072 x 2048 Photo CD under the
# sanitizers on a busy machine does; a hang still outlasts the limit.
file(REMOVE_RECURSE ${WORK}/corpus)
file(MAKE_DIRECTORY ${WORK}/corpus ${WORK}/artifacts)
string(REPLACE "|" ";" seed_list "${SEEDS}")
execute_process(
  COMMAND ${FUZZER} -max_total_time=${SECONDS} -rss_limit_mb=2048 -timeout=30
    -artifact_prefix=${WORK}/artifacts/ ${WORK}/corpus ${seed_list}
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${FUZZER} found a failing input (exit ${rc}); see ${WORK}/artifacts")
endif()
