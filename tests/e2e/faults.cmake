# Faults against the real processes: disk full, the agent killed in the middle of a transfer
# or of a save, and hostile peers on the network. Linux only: the scripts mount a small tmpfs,
# send signals and read /proc. FL_E2E_SCALE (default 1) shrinks the file sizes for slow
# (sanitizer) builds; the time-outs under test stay the real ones.
if(WIN32 OR NOT TARGET ferrylink OR NOT TARGET ferrylink-send OR NOT TARGET fl_send)
  return()
endif()

set(FL_FAULTS_DIR ${CMAKE_CURRENT_SOURCE_DIR}/faults)
# Sanitizer builds run several times slower: their whole-program tests move less data, and
# skip the memory figures (the address sanitizer keeps freed memory in quarantine).
if(FL_SANITIZE)
  set(FL_E2E_SCALE 8 CACHE STRING "Divides the data sizes of the fault and load tests")
else()
  set(FL_E2E_SCALE 1 CACHE STRING "Divides the data sizes of the fault and load tests")
endif()
set(FL_E2E_ENV FL_E2E_SCALE=${FL_E2E_SCALE} FL_E2E_SANITIZER=${FL_SANITIZE})

# A peer that misbehaves in the ways a stranger on the network can.
add_executable(hostile_peer ${FL_FAULTS_DIR}/hostile_peer.cpp)
target_link_libraries(hostile_peer PRIVATE fl_send)
# The receive subsystem as an agent of its own, with the session settings the shell keeps fixed.
add_executable(fault_agent ${FL_FAULTS_DIR}/fault_agent.cpp)
target_link_libraries(fault_agent PRIVATE fl_recv fl_trust)
# Saves trust.txt, config.ini or identity.key in a loop, to be killed; checks what is left.
add_executable(save_loop ${FL_FAULTS_DIR}/save_loop.cpp)
target_link_libraries(save_loop PRIVATE fl_shell fl_trust fl_crypto)

add_test(NAME e2e_faults_kill_during_save
         COMMAND bash ${FL_FAULTS_DIR}/kill_during_save.sh $<TARGET_FILE:save_loop>)
set_tests_properties(e2e_faults_kill_during_save PROPERTIES LABELS "e2e;faults" TIMEOUT 300
                     ENVIRONMENT "${FL_E2E_ENV}")

add_test(NAME e2e_faults_kill_agent_mid_transfer
         COMMAND bash ${FL_FAULTS_DIR}/kill_agent.sh $<TARGET_FILE:ferrylink>
                 $<TARGET_FILE:ferrylink-send>)
set_tests_properties(e2e_faults_kill_agent_mid_transfer PROPERTIES LABELS "e2e;faults" TIMEOUT 300
                     ENVIRONMENT "${FL_E2E_ENV}")

add_test(NAME e2e_faults_kill_around_final_move
         COMMAND bash ${FL_FAULTS_DIR}/kill_final_move.sh $<TARGET_FILE:ferrylink>
                 $<TARGET_FILE:ferrylink-send>)
set_tests_properties(e2e_faults_kill_around_final_move PROPERTIES LABELS "e2e;faults" TIMEOUT 300
                     ENVIRONMENT "${FL_E2E_ENV}")

add_test(NAME e2e_faults_quit_during_transfers
         COMMAND bash ${FL_FAULTS_DIR}/quit_during_transfers.sh $<TARGET_FILE:ferrylink>
                 $<TARGET_FILE:ferrylink-send>)
set_tests_properties(e2e_faults_quit_during_transfers PROPERTIES LABELS "e2e;faults" TIMEOUT 300
                     ENVIRONMENT "${FL_E2E_ENV}")

add_test(NAME e2e_faults_disk_full
         COMMAND bash ${FL_FAULTS_DIR}/disk_full.sh $<TARGET_FILE:ferrylink>
                 $<TARGET_FILE:ferrylink-send> $<TARGET_FILE:fault_agent>)
set_tests_properties(e2e_faults_disk_full PROPERTIES LABELS "e2e;faults" TIMEOUT 300
                     ENVIRONMENT "${FL_E2E_ENV}"
                     SKIP_RETURN_CODE 77)

add_test(NAME e2e_faults_hostile_peers
         COMMAND bash ${FL_FAULTS_DIR}/hostile_peers.sh $<TARGET_FILE:ferrylink>
                 $<TARGET_FILE:ferrylink-send> $<TARGET_FILE:hostile_peer>)
set_tests_properties(e2e_faults_hostile_peers PROPERTIES LABELS "e2e;faults" TIMEOUT 400
                     ENVIRONMENT "${FL_E2E_ENV}")

add_test(NAME e2e_faults_session_timeouts
         COMMAND bash ${FL_FAULTS_DIR}/session_timeouts.sh $<TARGET_FILE:fault_agent>
                 $<TARGET_FILE:ferrylink-send> $<TARGET_FILE:hostile_peer>)
set_tests_properties(e2e_faults_session_timeouts PROPERTIES LABELS "e2e;faults" TIMEOUT 300
                     ENVIRONMENT "${FL_E2E_ENV}")
