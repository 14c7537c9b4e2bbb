# The window framework: window and dialog objects, reflection, the mix-ins (Windows build only).
if(WIN32)
  target_sources(sitemon_win PRIVATE
    module_instance_win.cpp
    reflect_win.cpp
    window_binding_win.cpp
  )
endif()
