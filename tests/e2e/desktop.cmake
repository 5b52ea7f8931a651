# The desktop seen from outside. Linux: install and uninstall in a temporary home folder, the
# terminal desktop, and the graphical desktop under Xvfb.
# Windows: a driver program acts as the user and the shell against the real agent under Wine; its hook library reads popup menus and answers the
# folder picker on the agent's window thread. The phone is ferrylink-send: the native one
# from FL_NATIVE_SEND when it exists (scripts/test.sh builds it first), else the Windows one.
if(NOT TARGET ferrylink)
  return()
endif()
# The Windows and the Linux desktop tests save their screenshots side by side here.
set(FL_SCREENSHOT_DIR ${CMAKE_SOURCE_DIR}/build/screenshots CACHE PATH
    "folder for the desktop tests' screenshots")
if(NOT WIN32)
  add_test(NAME e2e_console_install
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/desktop/console_install.sh
                   $<TARGET_FILE:ferrylink>)
  set_tests_properties(e2e_console_install PROPERTIES LABELS e2e TIMEOUT 120)
  if(TARGET ferrylink-send)
    add_test(NAME e2e_console_desktop
             COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/desktop/console_desktop.sh
                     $<TARGET_FILE:ferrylink> $<TARGET_FILE:ferrylink-send>)
    set_tests_properties(e2e_console_desktop PROPERTIES LABELS e2e TIMEOUT 120)
  endif()
  # What `cmake --install` lays out (the menu entry and icons come with the graphical desktop).
  if(TARGET fl-icon-png)
    add_test(NAME e2e_install_layout
             COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/desktop/install_layout.sh ${CMAKE_BINARY_DIR})
    set_tests_properties(e2e_install_layout PROPERTIES LABELS e2e TIMEOUT 120)
  endif()
  # The graphical desktop on a virtual display with a private session bus. Not under the
  # sanitizers: GTK's one-time allocations would read as leaks.
  if(FL_DESKTOP_GTK AND NOT FL_SANITIZE AND TARGET ferrylink-send)
    add_test(NAME e2e_gtk_desktop
             COMMAND dbus-run-session -- bash ${CMAKE_CURRENT_SOURCE_DIR}/desktop/gtk_desktop.sh
                     $<TARGET_FILE:ferrylink> $<TARGET_FILE:ferrylink-send>
                     ${FL_SCREENSHOT_DIR})
    set_tests_properties(e2e_gtk_desktop PROPERTIES LABELS e2e TIMEOUT 240)
  endif()
  return()
endif()
add_library(desk_hook MODULE desktop/desk_hook.cpp)
set_target_properties(desk_hook PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
target_link_libraries(desk_hook PRIVATE user32 shell32 comctl32 gdi32)
add_executable(desk_driver desktop/desk_driver.cpp)
target_link_options(desk_driver PRIVATE -municode)
target_link_libraries(desk_driver PRIVATE user32 shell32 version)
add_dependencies(desk_driver desk_hook)

set(FL_NATIVE_SEND ${CMAKE_SOURCE_DIR}/build/native/tools/send/ferrylink-send CACHE FILEPATH
    "native ferrylink-send that plays the phone in the Windows desktop tests")
if(EXISTS ${FL_NATIVE_SEND})
  set(fl_desktop_sender ${FL_NATIVE_SEND})
elseif(TARGET ferrylink-send)
  set(fl_desktop_sender $<TARGET_FILE:ferrylink-send>)
endif()
if(fl_desktop_sender)
  add_test(NAME e2e_win_desktop
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/desktop/win_desktop.sh
                   $<TARGET_FILE:ferrylink> $<TARGET_FILE:desk_driver> ${fl_desktop_sender}
                   ${FL_SCREENSHOT_DIR})
  set_tests_properties(e2e_win_desktop PROPERTIES LABELS e2e TIMEOUT 600)
  add_test(NAME e2e_win_screens
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/desktop/win_screens.sh
                   $<TARGET_FILE:ferrylink> $<TARGET_FILE:desk_driver> ${fl_desktop_sender}
                   ${FL_SCREENSHOT_DIR})
  set_tests_properties(e2e_win_screens PROPERTIES LABELS e2e TIMEOUT 600)
endif()
add_test(NAME e2e_win_install
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/desktop/win_install.sh
                 $<TARGET_FILE:ferrylink> $<TARGET_FILE:desk_driver>)
set_tests_properties(e2e_win_install PROPERTIES LABELS e2e TIMEOUT 600)
