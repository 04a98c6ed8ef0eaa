# Tests that drive the real windows on the offscreen platform.
add_executable(gui_tests
    support/gui_main.cpp
    app/qt_dialogs_test.cpp
    app/state_file_ui_test.cpp
    app/bus_owner_test.cpp
    main_window/startup_test.cpp
    main_window/port_failure_ui_test.cpp
    main_window/ram_access_test.cpp
    main_window/eeprom_block_test.cpp
    main_window/image_file_ui_test.cpp
    main_window/eeprom_backup_test.cpp
    editors/editor_test.cpp
    status/status_window_test.cpp
    status_timeline/timeline_window_test.cpp
    switch_control/switch_window_test.cpp
    about/about_window_test.cpp
    eeprom_window/eeprom_window_test.cpp
    block_read/block_read_window_test.cpp
    diagram/diagram_window_test.cpp
    bus_monitor/bus_monitor_test.cpp
    snapshots/snapshot_window_test.cpp
    production_window/production_window_test.cpp
    scripts_window/scripts_window_test.cpp
    remote_window/remote_window_test.cpp
)
target_include_directories(gui_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(gui_tests PRIVATE kestrel_gui Qt6::Test Qt6::Network GTest::gtest)
gtest_discover_tests(gui_tests DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")

# The same window tests once more against the strict simulated chip (every
# option the chip is known to have). Left out, as they rely on the lenient
# board on purpose:
# - EepromBlock.SingleByteReadAndWrite writes 3Ch over a cell holding 0Ah that
#   was never erased; a real cell only clears bits, so it keeps 08h.
# - EepromVerify.OfferedAfterTheWriteAndListsMismatches verifies 81F0h-820Fh
#   and expects 8200h to read FFh; the strict chip does not acknowledge
#   EEPROM addresses past 81FFh, so verify rightly fails at 8200h instead.
add_test(NAME gui_tests_strict_board
    COMMAND gui_tests
        --gtest_filter=-EepromBlock.SingleByteReadAndWrite:EepromVerify.OfferedAfterTheWriteAndListsMismatches)
set_tests_properties(gui_tests_strict_board PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;KESTREL_TEST_STRICT_BOARD=1")

# The same window tests once more through the I2C adapter's executor, each
# I2C_RDWR answered by the simulated wire. Left out: the start-up tests of
# the parallel port's discovery (LPT list, port entries, its indicator
# texts), which an adapter does not have, and the tests that hold the
# parallel port's bus by hand to see what a refused transaction does (the
# adapter's own refusal during an EEPROM cycle is tested with the adapter),
# and the monitor tests, which need the lines (a VCD export, the port test,
# and SDA stuck low, which an adapter reports only as a failed transfer).
add_test(NAME gui_tests_i2c_adapter
    COMMAND gui_tests --gtest_filter=-Startup.*:Editors.CaptionsThatWereNeverReadAreNeverWritten:Editors.ARefusedWritePutsCaptionsAndSelectionBack:BlockReadWindow.RefusedWhileTheBusIsHeld:BusMonitor.*)
set_tests_properties(gui_tests_i2c_adapter PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;KESTREL_TEST_I2C_ADAPTER=1")

# Through the adapter again, against the strict chip, which leaves the EEPROM
# read's address slots to the master: once with an adapter that offers
# protocol mangling (the read goes on past those slots), once without (EEPROM
# bytes come from block reads). Left out: what the two runs above leave out.
set(adapter_strict_filter
    "-Startup.*:Editors.CaptionsThatWereNeverReadAreNeverWritten:Editors.ARefusedWritePutsCaptionsAndSelectionBack:BlockReadWindow.RefusedWhileTheBusIsHeld:BusMonitor.*:EepromBlock.SingleByteReadAndWrite:EepromVerify.OfferedAfterTheWriteAndListsMismatches")
add_test(NAME gui_tests_i2c_adapter_strict COMMAND gui_tests --gtest_filter=${adapter_strict_filter})
set_tests_properties(gui_tests_i2c_adapter_strict PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;KESTREL_TEST_I2C_ADAPTER=1;KESTREL_TEST_STRICT_BOARD=1")
add_test(NAME gui_tests_i2c_mangling_strict COMMAND gui_tests --gtest_filter=${adapter_strict_filter})
set_tests_properties(gui_tests_i2c_mangling_strict PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;KESTREL_TEST_I2C_ADAPTER=1;KESTREL_TEST_I2C_MANGLING=1;KESTREL_TEST_STRICT_BOARD=1")
