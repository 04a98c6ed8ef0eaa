# Bus jobs for Qt event loops: work handed to the bus owner, results back on
# the caller's thread (the windows and the remote server alike; Qt Core only).
add_library(kestrel_jobs STATIC jobs/bus_jobs.cpp)
target_include_directories(kestrel_jobs PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(kestrel_jobs PUBLIC kestrel_core Qt6::Core)

# The SCPI server over TCP (Qt Core and Network, no widgets), and the batch
# command that runs it.
add_library(kestrel_remote STATIC remote/server.cpp)
target_link_libraries(kestrel_remote PUBLIC kestrel_remote_core kestrel_jobs Qt6::Network)

file(GLOB KESTREL_BATCH_REMOTE_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/batch/serve_*.cpp)
add_library(kestrel_batch_remote STATIC ${KESTREL_BATCH_REMOTE_SOURCES})
target_link_libraries(kestrel_batch_remote PUBLIC kestrel_batch kestrel_remote)
