# Non-GUI core of the platform layer.
list(APPEND TAMRIX_PLATFORM_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/char_class.cpp
  ${CMAKE_CURRENT_LIST_DIR}/codepage.cpp
  ${CMAKE_CURRENT_LIST_DIR}/component.cpp
  ${CMAKE_CURRENT_LIST_DIR}/exception.cpp
  ${CMAKE_CURRENT_LIST_DIR}/files.cpp
  ${CMAKE_CURRENT_LIST_DIR}/http.cpp
  ${CMAKE_CURRENT_LIST_DIR}/lists.cpp
  ${CMAKE_CURRENT_LIST_DIR}/strings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/strings_convert.cpp
  ${CMAKE_CURRENT_LIST_DIR}/strings_format.cpp
  ${CMAKE_CURRENT_LIST_DIR}/streams.cpp
  ${CMAKE_CURRENT_LIST_DIR}/string_list.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/threads.cpp
)
