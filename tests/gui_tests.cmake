# Tests that drive the real windows on the offscreen platform.
add_executable(gui_tests
    support/gui_main.cpp
    app/qt_wait_test.cpp
    app/qt_dialogs_test.cpp
    main_window/startup_test.cpp
    main_window/ram_access_test.cpp
    main_window/eeprom_block_test.cpp
    main_window/image_file_ui_test.cpp
    main_window/eeprom_backup_test.cpp
    editors/editor_test.cpp
    status/status_window_test.cpp
    switch_control/switch_window_test.cpp
    about/about_window_test.cpp
    eeprom_window/eeprom_window_test.cpp
    block_read/block_read_window_test.cpp
    diagram/diagram_window_test.cpp
    bus_monitor/bus_monitor_test.cpp
)
target_include_directories(gui_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(gui_tests PRIVATE kestrel_gui Qt6::Test GTest::gtest)
gtest_discover_tests(gui_tests DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
