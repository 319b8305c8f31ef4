# libpng is the reference the PNG codec is measured against, libspng a second
# one where it is installed, zlib and libdeflate the references of the CRC-32;
# benchmarks only.
find_package(PNG REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(LIBDEFLATE REQUIRED IMPORTED_TARGET libdeflate)
pkg_check_modules(SPNG IMPORTED_TARGET spng)
target_link_libraries(${name} PRIVATE PNG::PNG ZLIB::ZLIB PkgConfig::LIBDEFLATE)
if(SPNG_FOUND)
  target_link_libraries(${name} PRIVATE PkgConfig::SPNG)
  target_compile_definitions(${name} PRIVATE PELORIN_HAVE_SPNG)
endif()
# The libpng writer and memory source are shared with the PNG tests.
target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/formats)
