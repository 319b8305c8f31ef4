include(${CMAKE_CURRENT_SOURCE_DIR}/PillowRef.cmake)
