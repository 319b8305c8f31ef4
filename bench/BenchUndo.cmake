# The history unit needs no Qt: built in here rather than through the app.
target_sources(${name} PRIVATE ${CMAKE_SOURCE_DIR}/app/Undo.cpp)
target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/app)
