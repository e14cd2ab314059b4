# The document model: tag attributes and text buffers, layout items, blocks, text sections and font runs, floating objects and panels, tables, image maps, the viewer base classes the model calls back, and the document with its dumps.
list(APPEND TAMRIX_HTML_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/attributes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/block.cpp
  ${CMAKE_CURRENT_LIST_DIR}/document.cpp
  ${CMAKE_CURRENT_LIST_DIR}/document_dump.cpp
  ${CMAKE_CURRENT_LIST_DIR}/event_life.cpp
  ${CMAKE_CURRENT_LIST_DIR}/floating_objects.cpp
  ${CMAKE_CURRENT_LIST_DIR}/font_runs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/image_map.cpp
  ${CMAKE_CURRENT_LIST_DIR}/indent_manager.cpp
  ${CMAKE_CURRENT_LIST_DIR}/list_bullets.cpp
  ${CMAKE_CURRENT_LIST_DIR}/object_pool.cpp
  ${CMAKE_CURRENT_LIST_DIR}/panel_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rule_page.cpp
  ${CMAKE_CURRENT_LIST_DIR}/section.cpp
  ${CMAKE_CURRENT_LIST_DIR}/section_base.cpp
  ${CMAKE_CURRENT_LIST_DIR}/table.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text_buffers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/viewer_base.cpp
)
