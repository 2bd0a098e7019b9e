# Windows targets: the application library, the executable and our tools.

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(KESTREL_MANIFEST_ARCH amd64)
else()
  set(KESTREL_MANIFEST_ARCH x86)
endif()
configure_file(${CMAKE_SOURCE_DIR}/res/KestrelSetup.exe.manifest.in
               ${CMAKE_BINARY_DIR}/res/KestrelSetup.exe.manifest @ONLY)

# Everything but the entry point and the resources, so test binaries link it.
add_library(kestrel_win STATIC
  win/module.cpp
  win/message_box.cpp
  win/registry.cpp
  win/dialog.cpp
  win/shell.cpp
  win/property_sheet.cpp
  app/globals.cpp
  app/installer_state.cpp
  app/builtin_strings.cpp
  app/system_inspection.cpp
  app/kestrel_setup_app.cpp
  app/marker_folder.cpp
  net/text_convert.cpp
  net/audit_trace.cpp
  net/http_connection.cpp
  net/download.cpp
  ui/proxy_page.cpp
  ui/install_wizard.cpp
  ui/commit_page.cpp
  ui/vant_list_ctrl.cpp
  ui/vant_stage_ctrl.cpp
  ui/vant_property_sheet.cpp
  ui/welcome_page.cpp
  ui/eula_page.cpp
  ui/edition_page.cpp
  ui/cluster_mode_page.cpp
  engine/task_list.cpp
  engine/task_runner.cpp
  engine/dot_net.cpp
  engine/sql_express.cpp
  engine/zip_extract.cpp
  engine/finalization.cpp
  engine/product_package.cpp
  engine/config_tool.cpp
  ui/status_cell.cpp
  uninstall/uninstall_dlg.cpp
  engine/child_process.cpp
  engine/windows_features.cpp
  engine/services.cpp
)
kestrel_target(kestrel_win)
target_link_libraries(kestrel_win PUBLIC kestrel_pure
  comctl32 shell32 ole32 advapi32 user32 gdi32 ws2_32 winhttp psapi odbc32)

# The licence resource is our RTF text followed by a zero byte.
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/res/eula.bin
  COMMAND sh -c "cat '${CMAKE_SOURCE_DIR}/res/eula.rtf' && printf '\\000'" > ${CMAKE_BINARY_DIR}/res/eula.bin
  DEPENDS ${CMAKE_SOURCE_DIR}/res/eula.rtf
  VERBATIM)
set_source_files_properties(${CMAKE_SOURCE_DIR}/res/KestrelSetup.rc PROPERTIES
  OBJECT_DEPENDS "${CMAKE_BINARY_DIR}/res/eula.bin;${CMAKE_BINARY_DIR}/res/KestrelSetup.exe.manifest")

set(KESTREL_LINK_STATIC -static -static-libgcc -static-libstdc++ $<$<CONFIG:Release>:-s>)

add_executable(KestrelSetup WIN32 app/main.cpp res/KestrelSetup.rc)
kestrel_target(KestrelSetup)
target_include_directories(KestrelSetup PRIVATE ${CMAKE_BINARY_DIR}/res ${CMAKE_SOURCE_DIR}/res)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${CMAKE_BINARY_DIR}/res -I${CMAKE_SOURCE_DIR}/res")
target_link_libraries(KestrelSetup PRIVATE kestrel_win)
target_link_options(KestrelSetup PRIVATE -municode ${KESTREL_LINK_STATIC})
set_target_properties(KestrelSetup PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# Release engineers' branding stamper (also used by the tests).
add_executable(KestrelStamp tools/stamp/stamp.cpp)
kestrel_target(KestrelStamp)
target_link_libraries(KestrelStamp PRIVATE kestrel_win)
target_link_options(KestrelStamp PRIVATE -municode ${KESTREL_LINK_STATIC})
set_target_properties(KestrelStamp PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
