# CSS property model, style list and cascade, the stack of computed styles,
# CSS parser, colours and fonts, and the HTML tokeniser.
list(APPEND TAMRIX_HTML_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/style_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/style_model.cpp
  ${CMAKE_CURRENT_LIST_DIR}/style_colors.cpp
  ${CMAKE_CURRENT_LIST_DIR}/style_list.cpp
  ${CMAKE_CURRENT_LIST_DIR}/prop_stack.cpp
  ${CMAKE_CURRENT_LIST_DIR}/style_fonts.cpp
  ${CMAKE_CURRENT_LIST_DIR}/style_parser.cpp
  ${CMAKE_CURRENT_LIST_DIR}/html_tokenizer.cpp
)
