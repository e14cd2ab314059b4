# Layout, line breaking, painting and position queries of the document model.
list(APPEND TAMRIX_HTML_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/layout_device.cpp
  ${CMAKE_CURRENT_LIST_DIR}/borders.cpp
  ${CMAKE_CURRENT_LIST_DIR}/list_bullets.cpp
  ${CMAKE_CURRENT_LIST_DIR}/section_measure.cpp
  ${CMAKE_CURRENT_LIST_DIR}/line_breaking.cpp
  ${CMAKE_CURRENT_LIST_DIR}/section_draw.cpp
  ${CMAKE_CURRENT_LIST_DIR}/block_layout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/block_paint.cpp
  ${CMAKE_CURRENT_LIST_DIR}/block_kinds.cpp
  ${CMAKE_CURRENT_LIST_DIR}/table_layout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/table_draw.cpp
  ${CMAKE_CURRENT_LIST_DIR}/document_layout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/document_print.cpp
  ${CMAKE_CURRENT_LIST_DIR}/position_queries.cpp
  ${CMAKE_CURRENT_LIST_DIR}/layout_dump.cpp
)
