# The document builder, which makes the model's objects from a page: the HTML readers and the table reader.
list(APPEND TAMRIX_HTML_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/html_parser.cpp
  ${CMAKE_CURRENT_LIST_DIR}/table_reader.cpp
)
