# What one hostile host can take from everybody else: workers, pairing prompts, the log and
# discovery. Linux only: the scripts read /proc and give each host its own loopback address.
if(WIN32 OR NOT TARGET ferrylink OR NOT TARGET ferrylink-send OR NOT TARGET hostile_peer)
  return()
endif()

set(FL_LIMITS_DIR ${CMAKE_CURRENT_SOURCE_DIR}/hostile_limits)

add_test(NAME e2e_limits_lockout
         COMMAND bash ${FL_LIMITS_DIR}/lockout.sh $<TARGET_FILE:ferrylink>
                 $<TARGET_FILE:ferrylink-send> $<TARGET_FILE:hostile_peer>)
set_tests_properties(e2e_limits_lockout PROPERTIES LABELS "e2e;limits" TIMEOUT 200
                     ENVIRONMENT "${FL_E2E_ENV}")

add_test(NAME e2e_limits_pairing_prompts
         COMMAND bash ${FL_LIMITS_DIR}/pairing_prompts.sh $<TARGET_FILE:ferrylink>
                 $<TARGET_FILE:hostile_peer>)
set_tests_properties(e2e_limits_pairing_prompts PROPERTIES LABELS "e2e;limits" TIMEOUT 120)

add_test(NAME e2e_limits_log_flood
         COMMAND bash ${FL_LIMITS_DIR}/log_flood.sh $<TARGET_FILE:ferrylink>
                 $<TARGET_FILE:ferrylink-send> $<TARGET_FILE:hostile_peer>)
set_tests_properties(e2e_limits_log_flood PROPERTIES LABELS "e2e;limits" TIMEOUT 120)

# Discovery between two network namespaces (tests/e2e/mdns), with the real agent answering.
add_test(NAME mdns_netns_flood
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/mdns/netns_run.sh
                 ${CMAKE_CURRENT_SOURCE_DIR}/mdns/netns_check.py flood ${FL_MDNS_EXPECT}
                 -- bash ${FL_LIMITS_DIR}/agent_responder.sh $<TARGET_FILE:ferrylink>)
set_tests_properties(mdns_netns_flood PROPERTIES LABELS "netns;e2e;limits" TIMEOUT 150
                     SKIP_RETURN_CODE 77 RUN_SERIAL ON)
