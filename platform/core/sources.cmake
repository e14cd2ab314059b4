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

# Temporary files beside their targets and the sweep of a killed run's
# leftovers: plain POSIX in a small library of its own, so that the
# compression library (which links nothing else of the platform) shares it.
add_library(tamrix_file_temps STATIC ${CMAKE_CURRENT_LIST_DIR}/files_temporary.cpp)
set_target_properties(tamrix_file_temps PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
