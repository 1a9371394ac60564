# The design-time package's tests: they load the built Designer plugin, build
# a form from OdbRegForm.ui with QUiLoader, and compile the same form with
# uic (AUTOUIC, for ui_OdbRegForm.h).
find_package(Qt6 REQUIRED COMPONENTS UiTools Designer)
set_target_properties(test_components PROPERTIES AUTOUIC ON)
target_link_libraries(test_components PRIVATE corvid_palette_bitmaps Qt6::UiTools Qt6::Designer)
add_dependencies(test_components corvid_designer)
target_compile_definitions(test_components PRIVATE
                           CORVID_DESIGNER_PLUGIN="$<TARGET_FILE:corvid_designer>"
                           CORVID_ODBREG_FORM="${CMAKE_CURRENT_SOURCE_DIR}/OdbRegForm.ui")
