# libtiff is the yardstick of the fax benchmarks only.
find_package(TIFF REQUIRED)
target_link_libraries(${name} PRIVATE TIFF::TIFF)
