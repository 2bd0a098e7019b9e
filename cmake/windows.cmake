# Windows targets: the executable and our tools (the libraries are in
# their folders).

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(KESTREL_MANIFEST_ARCH amd64)
else()
  set(KESTREL_MANIFEST_ARCH x86)
endif()
configure_file(${CMAKE_SOURCE_DIR}/res/KestrelSetup.exe.manifest.in
               ${CMAKE_BINARY_DIR}/res/KestrelSetup.exe.manifest @ONLY)

# The licence resource is our RTF text followed by a zero byte.
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/res/eula.bin
  COMMAND sh -c "cat '${CMAKE_SOURCE_DIR}/res/eula.rtf' && printf '\\000'" > ${CMAKE_BINARY_DIR}/res/eula.bin
  DEPENDS ${CMAKE_SOURCE_DIR}/res/eula.rtf
  VERBATIM)
include(${CMAKE_SOURCE_DIR}/cmake/version_info.cmake)
set_source_files_properties(${CMAKE_SOURCE_DIR}/res/KestrelSetup.rc PROPERTIES
  OBJECT_DEPENDS "${CMAKE_BINARY_DIR}/res/eula.bin;${CMAKE_BINARY_DIR}/res/KestrelSetup.exe.manifest;${CMAKE_BINARY_DIR}/res/version_info.h")

set(KESTREL_LINK_STATIC -static -static-libgcc -static-libstdc++ $<$<CONFIG:Release>:-s>)

# The run settings the executable starts with: the shipped defaults, or in
# the test build (KESTREL_TESTS) the one seam the journeys need.
if(KESTREL_TESTS)
  set(KESTREL_STARTUP_SETTINGS tests/support/test_build_settings.cpp)
else()
  set(KESTREL_STARTUP_SETTINGS app/startup_settings.cpp)
endif()
add_executable(KestrelSetup WIN32 app/main.cpp ${KESTREL_STARTUP_SETTINGS} res/KestrelSetup.rc)
kestrel_target(KestrelSetup)
target_include_directories(KestrelSetup PRIVATE ${CMAKE_BINARY_DIR}/res ${CMAKE_SOURCE_DIR}/res)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${CMAKE_BINARY_DIR}/res -I${CMAKE_SOURCE_DIR}/res")
target_link_libraries(KestrelSetup PRIVATE kestrel_app)
target_link_options(KestrelSetup PRIVATE -municode ${KESTREL_LINK_STATIC})
set_target_properties(KestrelSetup PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# Release engineers' branding stamper (also used by the tests).
add_executable(KestrelStamp tools/stamp/stamp.cpp tools/stamp/version_resource.cpp)
kestrel_target(KestrelStamp)
target_link_libraries(KestrelStamp PRIVATE kestrel_core)
target_link_options(KestrelStamp PRIVATE -municode ${KESTREL_LINK_STATIC})
set_target_properties(KestrelStamp PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
