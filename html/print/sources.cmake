# Printing: the print copy of a document cut into pages, the viewer's print
# engine, and the printers a page is printed on (the system's printer, a PDF
# file, or pages recorded in memory for counting and previews).
list(APPEND TAMRIX_HTML_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/document_print.cpp
  ${CMAKE_CURRENT_LIST_DIR}/html_view_print.cpp
  ${CMAKE_CURRENT_LIST_DIR}/printers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/metafile_printer.cpp
)
