# Tests under Wine reach the software transmitter, and bare ptys, through
# ventora-sim-host on Linux (see .ci/wine-tests.sh).
if(WIN32)
  add_library(ventora_host_connection STATIC wine/host_connection.cpp)
  target_link_libraries(ventora_host_connection PUBLIC ventora_serial)
  # The transmitter's interface, served by the host: the integration tests
  # build unchanged against it.
  add_library(ventora_sim STATIC wine/remote_sim.cpp)
  target_link_libraries(ventora_sim PUBLIC ventora_host_connection)
elseif(TARGET ventora_sim)
  add_executable(ventora-sim-host wine/sim_host.cpp integration/line_peer_posix.cpp)
  target_link_libraries(ventora-sim-host PRIVATE ventora_sim)
endif()
