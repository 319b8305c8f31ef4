# giflib serves only as the yardstick of the GIF benchmarks.
target_link_libraries(${name} PRIVATE gif)
