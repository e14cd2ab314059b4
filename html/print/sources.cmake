# Printing: the printers a page is printed on (the system's printer, a PDF
# file, or pages recorded in memory for counting and previews).
list(APPEND TAMRIX_HTML_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/printers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/metafile_printer.cpp
)
