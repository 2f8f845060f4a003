# Setting dialogs and the input grid, offscreen.
find_package(Qt6 REQUIRED COMPONENTS Network Test Widgets)

foreach(name InputGridTest DialogsTest)
    add_executable(${name} ${CMAKE_CURRENT_LIST_DIR}/${name}.cpp)
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    target_link_libraries(${name} PRIVATE corvane_ui Qt6::Test)
    add_test(NAME ui.${name} COMMAND ${name})
    set_tests_properties(ui.${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
        TIMEOUT 120)
endforeach()
# The router's end of the UDP link in the upload test.
target_link_libraries(DialogsTest PRIVATE Qt6::Network)
