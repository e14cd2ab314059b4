# Layout: the measuring device, line breaking, block, table and document layout, the integer arithmetic of table widths, position queries and the layout dump.
list(APPEND TAMRIX_HTML_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/block_kinds.cpp
  ${CMAKE_CURRENT_LIST_DIR}/block_layout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/document_layout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/layout_device.cpp
  ${CMAKE_CURRENT_LIST_DIR}/layout_dump.cpp
  ${CMAKE_CURRENT_LIST_DIR}/line_breaking.cpp
  ${CMAKE_CURRENT_LIST_DIR}/position_queries.cpp
  ${CMAKE_CURRENT_LIST_DIR}/section_measure.cpp
  ${CMAKE_CURRENT_LIST_DIR}/table_layout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/width_arrays.cpp
)
