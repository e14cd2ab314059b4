# Painting of the laid-out model: borders, blocks, text sections, tables, and panels on paper.
list(APPEND TAMRIX_HTML_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/block_paint.cpp
  ${CMAKE_CURRENT_LIST_DIR}/borders.cpp
  ${CMAKE_CURRENT_LIST_DIR}/panel_draw.cpp
  ${CMAKE_CURRENT_LIST_DIR}/section_draw.cpp
  ${CMAKE_CURRENT_LIST_DIR}/table_draw.cpp
)
