# libtiff writes the file and is the reference; benchmarks only.
find_package(TIFF REQUIRED)
target_link_libraries(${name} PRIVATE TIFF::TIFF)
