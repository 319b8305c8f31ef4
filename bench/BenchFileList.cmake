# The list window is measured offscreen through the program's own library;
# the benchmark brings its own main for the application.
if(TARGET pelorin_app)
  target_link_libraries(${name} PRIVATE pelorin_app)
else()
  set_target_properties(${name} PROPERTIES EXCLUDE_FROM_ALL ON)
endif()
