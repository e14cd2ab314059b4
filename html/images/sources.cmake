# Pictures: GIF decoding and animation, the GDI+-style image wrapper, colour reduction, the image cache and loader, image objects and their drawing.
list(APPEND TAMRIX_HTML_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/dithering.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gdiplus_images.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gif_decoder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gif_images.cpp
  ${CMAKE_CURRENT_LIST_DIR}/image_cache.cpp
  ${CMAKE_CURRENT_LIST_DIR}/image_draw.cpp
  ${CMAKE_CURRENT_LIST_DIR}/image_fetch.cpp
  ${CMAKE_CURRENT_LIST_DIR}/image_loader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/image_objects.cpp
)
