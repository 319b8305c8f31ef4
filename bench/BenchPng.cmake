# libpng is the reference the PNG codec is measured against; benchmarks only.
find_package(PNG REQUIRED)
target_link_libraries(${name} PRIVATE PNG::PNG)
