# The viewer control: its base classes, image maps and the id list, the
# control itself (loading, layout, painting, scrolling, keys, mouse, links,
# selection and clipboard).
list(APPEND TAMRIX_HTML_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/viewer_base.cpp
  ${CMAKE_CURRENT_LIST_DIR}/html_clipboard.cpp
  ${CMAKE_CURRENT_LIST_DIR}/html_view.cpp
  ${CMAKE_CURRENT_LIST_DIR}/html_view_paint.cpp
  ${CMAKE_CURRENT_LIST_DIR}/html_view_mouse.cpp
  ${CMAKE_CURRENT_LIST_DIR}/html_view_select.cpp
  ${CMAKE_CURRENT_LIST_DIR}/html_view_print.cpp
  ${CMAKE_CURRENT_LIST_DIR}/panel_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/viewer_dump.cpp
)
