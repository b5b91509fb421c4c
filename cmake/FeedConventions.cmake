# quorvex_feed_variant(<target> DBAX <stdcall|cdecl> CALLBACK <stdcall|cdecl>
#                      [DECORATED] SOURCES <files...> LIBRARIES <targets...>)
#
# A build of a test feed library (PCQW32.dll) with the calling conventions of its `dbax` and of
# the history callback it calls chosen apart, as the vendor's library may have them: nothing
# says which it uses. Each variant lies in a folder of its own,
# ${CMAKE_BINARY_DIR}/feed-variants/<target>, together with a copy of the module, so that the
# module finds it there as it would find the vendor's. The Windows leg runs the end-to-end
# tests against every variant. A stdcall `dbax` is exported undecorated ("dbax") unless
# DECORATED asks for the linker's "dbax@20", which the module also resolves.
#
# Every variant is compiled the way MSVC builds often are: 4-byte stack alignment and no frame
# pointer. With those, a callback called in the wrong convention crashes instead of passing by
# luck (GCC's default frame pointer restores the stack pointer that the mismatch corrupts).
# 32-bit MinGW builds only; elsewhere (64-bit Windows too) there is one convention and nothing
# is built.
function(quorvex_feed_variant target)
  if(NOT MINGW OR CMAKE_SIZEOF_VOID_P EQUAL 8)
    return()
  endif()
  cmake_parse_arguments(ARG "DECORATED" "DBAX;CALLBACK" "SOURCES;LIBRARIES" ${ARGN})
  foreach(convention ${ARG_DBAX} ${ARG_CALLBACK})
    if(NOT convention MATCHES "^(stdcall|cdecl)$")
      message(FATAL_ERROR "quorvex_feed_variant(${target}): unknown convention ${convention}")
    endif()
  endforeach()
  set(folder ${CMAKE_BINARY_DIR}/feed-variants/${target})
  add_library(${target} SHARED ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE pcqw32_interface ${ARG_LIBRARIES})
  target_compile_definitions(${target} PRIVATE DBA_CALL=__${ARG_DBAX}
                                               DBA_CALLBACK_CALL=__${ARG_CALLBACK})
  target_compile_options(${target} PRIVATE -mpreferred-stack-boundary=2 -fomit-frame-pointer)
  set_target_properties(${target} PROPERTIES OUTPUT_NAME PCQW32 PREFIX ""
                                             RUNTIME_OUTPUT_DIRECTORY ${folder}
                                             LIBRARY_OUTPUT_DIRECTORY ${folder}
                                             CXX_VISIBILITY_PRESET hidden)
  if(ARG_DBAX STREQUAL "stdcall" AND NOT ARG_DECORATED)
    quorvex_plain_stdcall_exports(${target})
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
                     COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:quorvex> ${folder}/
                     VERBATIM)
  add_dependencies(${target} quorvex)
endfunction()
