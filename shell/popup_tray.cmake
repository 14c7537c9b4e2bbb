# The notification popup, the tray icon with its menu, and the about box.
target_sources(sitemon_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/popup_logic.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tray_logic.cpp
  ${CMAKE_CURRENT_LIST_DIR}/about_text.cpp
)

if(WIN32)
  target_sources(sitemon_win PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/monitor_lookup_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/string_resource_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/maker_web_page_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/about_dlg_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/message_box_dlg_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/show_notification_win.cpp
  )
  # The maker's web page, opened by the tray menu (and the main window's "≒" button).
  target_compile_definitions(sitemon_win PRIVATE "SITEMON_WEB_PAGE=\"${SITEMON_WEB_PAGE}\"")
endif()
