# Drawing: device contexts, fonts and text, canvas, bitmaps and pictures,
# metafiles, image list drawing, printing.
list(APPEND TAMRIX_PLATFORM_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/colors.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gdi_objects.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gdi_dc.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gdi_scroll.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/font.cpp
  ${CMAKE_CURRENT_LIST_DIR}/canvas.cpp
  ${CMAKE_CURRENT_LIST_DIR}/bitmap.cpp
  ${CMAKE_CURRENT_LIST_DIR}/picture_decode.cpp
  ${CMAKE_CURRENT_LIST_DIR}/picture.cpp
  ${CMAKE_CURRENT_LIST_DIR}/metafile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/printer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/imagelist.cpp
  ${CMAKE_CURRENT_LIST_DIR}/imagelist_store.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gdiplus.cpp
  ${CMAKE_CURRENT_LIST_DIR}/icon.cpp
)
