# Tag attributes, link records, width specifications and text buffers.
list(APPEND TAMRIX_HTML_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/attributes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text_buffers.cpp
)
