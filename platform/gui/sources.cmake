# GUI part of the platform layer (windows, messages, controls, forms, dialogs,
# clipboard, desktop integration).
list(APPEND TAMRIX_PLATFORM_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/accessibility.cpp
  ${CMAKE_CURRENT_LIST_DIR}/application.cpp
  ${CMAKE_CURRENT_LIST_DIR}/application_hooks.cpp
  ${CMAKE_CURRENT_LIST_DIR}/clipboard.cpp
  ${CMAKE_CURRENT_LIST_DIR}/controls.cpp
  ${CMAKE_CURRENT_LIST_DIR}/defer_window_pos.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dialogs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/drag_control.cpp
  ${CMAKE_CURRENT_LIST_DIR}/drag_drop.cpp
  ${CMAKE_CURRENT_LIST_DIR}/drag_image.cpp
  ${CMAKE_CURRENT_LIST_DIR}/events.cpp
  ${CMAKE_CURRENT_LIST_DIR}/extctrls.cpp
  ${CMAKE_CURRENT_LIST_DIR}/forms.cpp
  ${CMAKE_CURRENT_LIST_DIR}/hints.cpp
  ${CMAKE_CURRENT_LIST_DIR}/hotkey.cpp
  ${CMAKE_CURRENT_LIST_DIR}/keyboard_layout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/menus.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ole_memory.cpp
  ${CMAKE_CURRENT_LIST_DIR}/popup_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/print_dialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/registry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/scroll_bar_style.cpp
  ${CMAKE_CURRENT_LIST_DIR}/scrollbars.cpp
  ${CMAKE_CURRENT_LIST_DIR}/shell.cpp
  ${CMAKE_CURRENT_LIST_DIR}/stdctrls_buttons.cpp
  ${CMAKE_CURRENT_LIST_DIR}/stdctrls_edits.cpp
  ${CMAKE_CURRENT_LIST_DIR}/stdctrls_lists.cpp
  ${CMAKE_CURRENT_LIST_DIR}/stdctrls_panels.cpp
  ${CMAKE_CURRENT_LIST_DIR}/stdctrls_ranges.cpp
  ${CMAKE_CURRENT_LIST_DIR}/stdctrls_tabs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/testing.cpp
  ${CMAKE_CURRENT_LIST_DIR}/themes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tray.cpp
  ${CMAKE_CURRENT_LIST_DIR}/window.cpp
)
