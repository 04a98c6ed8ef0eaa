# The shared widgets every window may use.
add_library(kestrel_widgets STATIC
    widgets/bit_label_row.cpp
    widgets/job_progress.cpp
    widgets/page_erase_panel.cpp
    widgets/tab_list_delegate.cpp
    widgets/window_registry.cpp
)
target_include_directories(kestrel_widgets PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(kestrel_widgets PUBLIC kestrel_jobs Qt6::Widgets)

# The windows, each in its folder; they reach the chip through the device layer.
add_library(kestrel_windows STATIC
    about/about_window.cpp
    about/system_info.cpp
    block_read/block_read_window.cpp
    bus_monitor/bus_monitor_model.cpp
    bus_monitor/bus_monitor_window.cpp
    bus_monitor/waveform_view.cpp
    diagram/diagram.qrc
    diagram/diagram_window.cpp
    editors/bit_toggle_editor.cpp
    editors/editor_tables.cpp
    eeprom_window/eeprom_window.cpp
    main_window/eeprom_backup_actions.cpp
    main_window/eeprom_block_panel.cpp
    main_window/eeprom_byte_panel.cpp
    main_window/main_window.cpp
    main_window/message_log.cpp
    main_window/message_log_window.cpp
    main_window/port_panel.cpp
    main_window/ram_panel.cpp
    production_window/production_window.cpp
    remote_window/remote_window.cpp
    scripts_window/code_editor.cpp
    scripts_window/scripts_window.cpp
    snapshots/snapshot_window.cpp
    status/status_window.cpp
    status_timeline/timeline_view.cpp
    status_timeline/timeline_window.cpp
    switch_control/switch_window.cpp
)
target_link_libraries(kestrel_windows PUBLIC kestrel_widgets kestrel_script kestrel_production kestrel_remote
                      Qt6::Svg)

# The one place that assembles the program.
add_library(kestrel_gui STATIC
    app/app_icon.cpp
    app/program.cpp
    app/qt_dialogs.cpp
    app/signal_quit.cpp
    app/windows.cpp
)
target_link_libraries(kestrel_gui PUBLIC kestrel_windows)

add_executable(kestrel-eval app/main.cpp)
target_link_libraries(kestrel-eval PRIVATE kestrel_gui kestrel_script kestrel_batch kestrel_batch_production
                      kestrel_batch_remote)
set_target_properties(kestrel-eval PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
include(GNUInstallDirs)
install(TARGETS kestrel-eval RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
