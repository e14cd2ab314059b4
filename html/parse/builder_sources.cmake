# The document builder: the property stack of a parse, the HTML readers
# and the table reader.
list(APPEND TAMRIX_HTML_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/prop_stack.cpp
  ${CMAKE_CURRENT_LIST_DIR}/html_parser.cpp
  ${CMAKE_CURRENT_LIST_DIR}/table_reader.cpp
)
