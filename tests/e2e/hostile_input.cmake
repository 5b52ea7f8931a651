# What a stranger on the network may send, against the real agent: peer text shown and
# logged, offers checked before anyone is asked, the store's own names and planted links,
# resources held per offer. The display and link cases run against the Windows agent too.
set(FL_HOSTILE_INPUT_DIR ${CMAKE_CURRENT_SOURCE_DIR}/hostile_input)
if(WIN32)
  # The Windows agent under Wine: the pairing box with a hostile name, and a link in the inbox.
  if(TARGET ferrylink AND TARGET desk_driver AND fl_desktop_sender)
    add_test(NAME e2e_win_hostile_input
             COMMAND bash ${FL_HOSTILE_INPUT_DIR}/win_hostile_input.sh $<TARGET_FILE:ferrylink>
                     $<TARGET_FILE:desk_driver> ${fl_desktop_sender} ${FL_SCREENSHOT_DIR})
    set_tests_properties(e2e_win_hostile_input PROPERTIES LABELS e2e TIMEOUT 300)
  endif()
  return()
endif()
if(NOT TARGET ferrylink OR NOT TARGET ferrylink-send OR NOT TARGET fl_send)
  return()
endif()

add_executable(hostile_offer ${FL_HOSTILE_INPUT_DIR}/hostile_offer.cpp)
target_link_libraries(hostile_offer PRIVATE fl_send)

add_test(NAME e2e_hostile_input
         COMMAND bash ${FL_HOSTILE_INPUT_DIR}/hostile_input.sh $<TARGET_FILE:ferrylink>
                 $<TARGET_FILE:ferrylink-send> $<TARGET_FILE:hostile_offer>)
set_tests_properties(e2e_hostile_input PROPERTIES LABELS "e2e;faults" TIMEOUT 300
                     ENVIRONMENT "${FL_E2E_ENV}")
