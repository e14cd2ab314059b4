# Form controls placed in the document: inputs, buttons, select lists and text areas.
list(APPEND TAMRIX_HTML_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/form_controls.cpp
  ${CMAKE_CURRENT_LIST_DIR}/form_inputs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/form_lists.cpp
)
