# Printing: the print copy of a document cut into pages, and the viewer's print front end.
list(APPEND TAMRIX_HTML_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/document_print.cpp
  ${CMAKE_CURRENT_LIST_DIR}/html_view_print.cpp
)
