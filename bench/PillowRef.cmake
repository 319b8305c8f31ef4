# Pillow, through an embedded Python, as the yardstick of a benchmark. Without
# the Python library the benchmark still builds and its Pillow rows skip.
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(PELORIN_PYTHON_EMBED QUIET IMPORTED_TARGET python3-embed)
endif()
target_sources(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/PillowRef.cpp)
if(PELORIN_PYTHON_EMBED_FOUND)
  target_compile_definitions(${name} PRIVATE PELORIN_HAVE_PYTHON)
  target_link_libraries(${name} PRIVATE PkgConfig::PELORIN_PYTHON_EMBED)
endif()
