# Layout, line breaking, painting and position queries of the document model.
list(APPEND TAMRIX_HTML_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/layout_device.cpp
  ${CMAKE_CURRENT_LIST_DIR}/borders.cpp
  ${CMAKE_CURRENT_LIST_DIR}/list_bullets.cpp
)
