include(${CMAKE_CURRENT_SOURCE_DIR}/PillowRef.cmake)
# The Photo CD rows read the corpus's file; PELORIN_CORPUS overrides this.
target_compile_definitions(${name} PRIVATE PELORIN_BENCH_CORPUS="${CMAKE_SOURCE_DIR}/../shared/corpus")
