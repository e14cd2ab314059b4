# The viewer control: loading, painting, scrolling, keys, mouse and links, selection and the clipboard.
list(APPEND TAMRIX_HTML_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/html_clipboard.cpp
  ${CMAKE_CURRENT_LIST_DIR}/html_view.cpp
  ${CMAKE_CURRENT_LIST_DIR}/html_view_mouse.cpp
  ${CMAKE_CURRENT_LIST_DIR}/html_view_paint.cpp
  ${CMAKE_CURRENT_LIST_DIR}/html_view_select.cpp
  ${CMAKE_CURRENT_LIST_DIR}/viewer_dump.cpp
)
