# The setting dialogs and the input grid, with the quad layout icons.
target_sources(corvane_ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/ConfigDialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/EdidDialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/InputGrid.cpp
    ${CMAKE_CURRENT_LIST_DIR}/QuadDialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../../res/quad/quad.qrc
)
set_property(TARGET corvane_ui PROPERTY AUTOMOC ON)
set_property(TARGET corvane_ui PROPERTY AUTORCC ON)
