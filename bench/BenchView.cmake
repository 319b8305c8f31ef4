# The view is measured through the program's own painter surface and main
# window, offscreen; the benchmark brings its own main for the application.
if(TARGET pelorin_app)
  target_link_libraries(${name} PRIVATE pelorin_app)
else()
  set_target_properties(${name} PROPERTIES EXCLUDE_FROM_ALL ON)
endif()
