# Discovery between two private network namespaces (needs root; skipped when namespaces are
# forbidden): our responder against raw sockets read with dnspython, against python-zeroconf,
# and against our own query client. MDNS_RESPONDER_COMMAND may name another responder program
# with its arguments (e.g. the agent itself) that announces the same description.
if(WIN32)
  return()
endif()

add_executable(mdns_responder_demo ${CMAKE_CURRENT_SOURCE_DIR}/mdns/responder_demo.cpp)
target_link_libraries(mdns_responder_demo PRIVATE fl_mdns)
add_executable(mdns_browse_probe ${CMAKE_CURRENT_SOURCE_DIR}/mdns/browse_probe.cpp
                                 ${CMAKE_SOURCE_DIR}/tools/send/mdns_query.cpp)
target_link_libraries(mdns_browse_probe PRIVATE fl_mdns)
target_include_directories(mdns_browse_probe PRIVATE ${CMAKE_SOURCE_DIR}/tools/send)

# "Test Box.lab": a space and a dot, so the instance label (Test Box-lab) and the host label
# (Test-Box-lab) differ.
set(FL_MDNS_EXPECT --instance "Test Box-lab" --host Test-Box-lab --port 47650
                   --id 0123456789abcdef --os linux)
if(NOT MDNS_RESPONDER_COMMAND)
  set(MDNS_RESPONDER_COMMAND $<TARGET_FILE:mdns_responder_demo> --name "Test Box.lab"
                             --id 0123456789abcdef --port 47650)
endif()

foreach(suite wire zeroconf client interfaces)
  add_test(NAME mdns_netns_${suite}
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/mdns/netns_run.sh
                   ${CMAKE_CURRENT_SOURCE_DIR}/mdns/netns_check.py ${suite} ${FL_MDNS_EXPECT}
                   --probe $<TARGET_FILE:mdns_browse_probe> -- ${MDNS_RESPONDER_COMMAND})
  set_tests_properties(mdns_netns_${suite} PROPERTIES LABELS "netns;e2e" TIMEOUT 150
                       SKIP_RETURN_CODE 77 RUN_SERIAL ON)
endforeach()
set_tests_properties(mdns_netns_interfaces PROPERTIES ENVIRONMENT FL_NETNS_NETWORKS=2)

# A stop that outlasts its wait: needs the demo's stalling log writer, so always the demo.
add_test(NAME mdns_netns_overrun
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/mdns/netns_run.sh
                 ${CMAKE_CURRENT_SOURCE_DIR}/mdns/netns_check.py overrun ${FL_MDNS_EXPECT}
                 -- $<TARGET_FILE:mdns_responder_demo> --name "Test Box.lab"
                 --id 0123456789abcdef --port 47650)
set_tests_properties(mdns_netns_overrun PROPERTIES LABELS "netns;e2e" TIMEOUT 150
                     SKIP_RETURN_CODE 77 RUN_SERIAL ON)

# The agent's responder beside avahi-daemon on the same network, both holding UDP 5353.
if(TARGET ferrylink)
  add_test(NAME mdns_netns_avahi
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/mdns/netns_run.sh
                   ${CMAKE_CURRENT_SOURCE_DIR}/mdns/avahi_coexist.sh $<TARGET_FILE:ferrylink>)
  set_tests_properties(mdns_netns_avahi PROPERTIES LABELS "netns;e2e" TIMEOUT 120
                       SKIP_RETURN_CODE 77 RUN_SERIAL ON)
endif()
