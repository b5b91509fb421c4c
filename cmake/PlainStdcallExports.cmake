# quorvex_plain_stdcall_exports(<target>): a DLL whose __stdcall functions are exported under
# their plain names ("dbax", not "dbax@20"), the form GetProcAddress callers and Win32 DLLs
# use, while its import library keeps the decorated names that the compiler emits for
# programs linked against it. Nothing happens outside MinGW builds.
#
# The linker's --kill-at strips the decoration from the export table but also from the import
# library it writes, so programs linking the DLL directly would look for dbax@20 in vain; the
# import library is therefore rebuilt after the link from the exports (with their decorated
# internal names) by dlltool --kill-at.
if(CMAKE_SCRIPT_MODE_FILE)
  # Script mode: turns the linker's "dbax = dbax@20 @1" lines into "dbax@20 @1".
  file(STRINGS ${DEF} lines)
  set(out "")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^([ \t]*)[A-Za-z_][A-Za-z0-9_]* = ([A-Za-z_][A-Za-z0-9_]*@[0-9]+)"
                         "\\1\\2" line "${line}")
    string(APPEND out "${line}\n")
  endforeach()
  file(WRITE ${OUT} "${out}")
  return()
endif()

set(QUORVEX_PLAIN_EXPORTS_SCRIPT ${CMAKE_CURRENT_LIST_FILE})

function(quorvex_plain_stdcall_exports target)
  if(NOT MINGW)
    return()
  endif()
  if(NOT QUORVEX_DLLTOOL)
    get_filename_component(bin ${CMAKE_CXX_COMPILER} DIRECTORY)
    string(REGEX REPLACE "-g\\+\\+.*$" "" prefix ${CMAKE_CXX_COMPILER})
    find_program(QUORVEX_DLLTOOL NAMES ${prefix}-dlltool dlltool HINTS ${bin} REQUIRED)
  endif()
  set(exports ${CMAKE_CURRENT_BINARY_DIR}/${target}-exports.def)
  set(decorated ${CMAKE_CURRENT_BINARY_DIR}/${target}-import.def)
  target_link_options(${target} PRIVATE -Wl,--kill-at -Wl,--output-def,${exports})
  add_custom_command(
    TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DDEF=${exports} -DOUT=${decorated} -P
            ${QUORVEX_PLAIN_EXPORTS_SCRIPT}
    COMMAND ${QUORVEX_DLLTOOL} --kill-at -d ${decorated} -D $<TARGET_FILE_NAME:${target}> -l
            $<TARGET_LINKER_FILE:${target}>
    COMMENT "Import library of ${target} with decorated names"
    VERBATIM)
endfunction()
