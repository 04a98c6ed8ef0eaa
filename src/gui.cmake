# The windows (Qt Widgets) and the program itself.
add_library(kestrel_gui STATIC
    about/about_window.cpp
    about/system_info.cpp
    app/app_icon.cpp
    app/program.cpp
    app/qt_dialogs.cpp
    app/qt_wait_hooks.cpp
    app/window_registry.cpp
    app/windows.cpp
    block_read/block_read_window.cpp
    bus_monitor/bus_monitor_model.cpp
    bus_monitor/bus_monitor_window.cpp
    bus_monitor/waveform_view.cpp
    diagram/diagram.qrc
    diagram/diagram_window.cpp
    editors/bit_toggle_editor.cpp
    eeprom_window/eeprom_window.cpp
    main_window/bit_label_row.cpp
    main_window/main_window.cpp
    main_window/main_window_eeprom.cpp
    main_window/main_window_backup.cpp
    main_window/message_log.cpp
    main_window/message_log_window.cpp
    main_window/tab_list_delegate.cpp
    status/status_window.cpp
    status_timeline/timeline_view.cpp
    status_timeline/timeline_window.cpp
    switch_control/switch_window.cpp
)
target_include_directories(kestrel_gui PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(kestrel_gui PUBLIC kestrel_core Qt6::Widgets Qt6::Svg)

add_executable(kestrel-eval app/main.cpp)
target_link_libraries(kestrel-eval PRIVATE kestrel_gui)
set_target_properties(kestrel-eval PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
include(GNUInstallDirs)
install(TARGETS kestrel-eval RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
