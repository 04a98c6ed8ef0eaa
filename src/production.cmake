# The production station: per-board programming and its records through Qt
# SQL (no widgets), and the batch commands on top of it.
add_library(kestrel_production STATIC
    production/golden.cpp
    production/records.cpp
    production/report.cpp
    production/serial.cpp
    production/station.cpp
)
target_include_directories(kestrel_production PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(kestrel_production PUBLIC kestrel_core Qt6::Core Qt6::Sql)
set_target_properties(kestrel_production PROPERTIES AUTOMOC OFF)

file(GLOB KESTREL_BATCH_PRODUCTION_SOURCES CONFIGURE_DEPENDS
     ${CMAKE_CURRENT_SOURCE_DIR}/batch/production_*.cpp)
add_library(kestrel_batch_production STATIC ${KESTREL_BATCH_PRODUCTION_SOURCES})
target_link_libraries(kestrel_batch_production PUBLIC kestrel_batch kestrel_production)
set_target_properties(kestrel_batch_production PROPERTIES AUTOMOC OFF)
