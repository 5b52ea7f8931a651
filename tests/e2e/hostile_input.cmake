# What a stranger on the network may send, against the real agent: peer text shown and
# logged, offers checked before anyone is asked, the store's own names and planted links,
# resources held per offer. The display case runs against the Windows agent too
# (desktop.cmake, win_desktop.sh).
if(WIN32 OR NOT TARGET ferrylink OR NOT TARGET ferrylink-send OR NOT TARGET fl_send)
  return()
endif()

set(FL_HOSTILE_INPUT_DIR ${CMAKE_CURRENT_SOURCE_DIR}/hostile_input)
add_executable(hostile_offer ${FL_HOSTILE_INPUT_DIR}/hostile_offer.cpp)
target_link_libraries(hostile_offer PRIVATE fl_send)

add_test(NAME e2e_hostile_input
         COMMAND bash ${FL_HOSTILE_INPUT_DIR}/hostile_input.sh $<TARGET_FILE:ferrylink>
                 $<TARGET_FILE:ferrylink-send> $<TARGET_FILE:hostile_offer>)
set_tests_properties(e2e_hostile_input PROPERTIES LABELS "e2e;faults" TIMEOUT 300
                     ENVIRONMENT "${FL_E2E_ENV}")
