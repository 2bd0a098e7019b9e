# The version resource's values come from the built-in strings of the
# resource script itself (a BRANDING entry wins over the string table, as
# at run time), so the file properties cannot drift from what the
# installer registers. Writes ${CMAKE_BINARY_DIR}/res/version_info.h.

set(rc ${CMAKE_SOURCE_DIR}/res/KestrelSetup.rc)
set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${rc})
file(STRINGS ${rc} rc_lines)

# kestrel_builtin_text(out kStrName): the BRANDING text, else the string
# table text, of one built-in string.
function(kestrel_builtin_text out name)
  set(table "")
  set(branding "")
  foreach(line IN LISTS rc_lines)
    if(line MATCHES "^[ \t]*${name}[ \t]+BRANDING[ \t]*{[ \t]*L\"([^\"]*)\\\\0\"[ \t]*}")
      set(branding "${CMAKE_MATCH_1}")
    elseif(line MATCHES "^[ \t]*${name}[ \t]+\"([^\"]*)\"")
      set(table "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  if(NOT branding STREQUAL "")
    set(table "${branding}")
  endif()
  if(table STREQUAL "")
    message(FATAL_ERROR "res/KestrelSetup.rc has no text for ${name}")
  endif()
  set(${out} "${table}" PARENT_SCOPE)
endfunction()

kestrel_builtin_text(KESTREL_VI_PRODUCT kStrDisplayName)
kestrel_builtin_text(KESTREL_VI_VERSION kStrVersion)
kestrel_builtin_text(KESTREL_VI_COMPANY kStrPublisher)

# The fixed part holds four 16-bit numbers: the text must be one to four
# decimal numbers of at most 65535, as the stamper demands.
if(NOT KESTREL_VI_VERSION MATCHES "^[0-9]+(\\.[0-9]+)?(\\.[0-9]+)?(\\.[0-9]+)?$")
  message(FATAL_ERROR "product version \"${KESTREL_VI_VERSION}\" is not one to four numbers")
endif()
string(REPLACE "." ";" parts "${KESTREL_VI_VERSION}")
list(LENGTH parts count)
while(count LESS 4)
  list(APPEND parts 0)
  list(LENGTH parts count)
endwhile()
foreach(p IN LISTS parts)
  if(p GREATER 65535)
    message(FATAL_ERROR "product version \"${KESTREL_VI_VERSION}\" has a part above 65535")
  endif()
endforeach()
list(JOIN parts "," KESTREL_VI_NUMBERS)

file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/res/version_info.h CONTENT
"// Generated from res/KestrelSetup.rc by cmake/version_info.cmake.
#define KESTREL_VI_NUMBERS ${KESTREL_VI_NUMBERS}
#define KESTREL_VI_VERSION \"${KESTREL_VI_VERSION}\"
#define KESTREL_VI_PRODUCT \"${KESTREL_VI_PRODUCT}\"
#define KESTREL_VI_COMPANY \"${KESTREL_VI_COMPANY}\"
#define KESTREL_VI_DESCRIPTION \"${KESTREL_VI_PRODUCT} Setup\"
")
