# The reference readers this benchmark compares against: Qt's and stb_image's.
find_package(Qt6 REQUIRED COMPONENTS Gui)
target_link_libraries(${name} PRIVATE Qt6::Gui)
