# The document model: layout items and cells, blocks, text sections, font
# runs, floating objects, tables, the document and its lists.
list(APPEND TAMRIX_HTML_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/section_base.cpp
  ${CMAKE_CURRENT_LIST_DIR}/indent_manager.cpp
  ${CMAKE_CURRENT_LIST_DIR}/font_runs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/floating_objects.cpp
  ${CMAKE_CURRENT_LIST_DIR}/form_controls.cpp
  ${CMAKE_CURRENT_LIST_DIR}/form_inputs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/form_lists.cpp
  ${CMAKE_CURRENT_LIST_DIR}/section.cpp
  ${CMAKE_CURRENT_LIST_DIR}/block.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rule_page.cpp
  ${CMAKE_CURRENT_LIST_DIR}/table.cpp
  ${CMAKE_CURRENT_LIST_DIR}/document.cpp
  ${CMAKE_CURRENT_LIST_DIR}/image_map.cpp
  ${CMAKE_CURRENT_LIST_DIR}/document_dump.cpp
)
