# Source buffer and charsets, URL routines, HTML symbols and shared helpers.
list(APPEND TAMRIX_HTML_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/charsets.cpp
  ${CMAKE_CURRENT_LIST_DIR}/html_common.cpp
  ${CMAKE_CURRENT_LIST_DIR}/html_drawing.cpp
  ${CMAKE_CURRENT_LIST_DIR}/html_edit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/html_symbols.cpp
  ${CMAKE_CURRENT_LIST_DIR}/source_buffer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/url_routines.cpp
)
