# The two COM libraries' type libraries and headers, built with widl from their IDL files.
# Debian's mingw-w64 packages carry no IDL files: the Windows ones come from libwine-dev, and
# stdole2.tlb, which every automation library imports, from Wine's own folder.
find_program(VLMR_WIDL NAMES ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-widl widl REQUIRED)
set(VLMR_WINDOWS_IDL /usr/include/wine/wine/windows CACHE PATH "Windows IDL files (libwine-dev)")
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(_vlmr_stdole_guess /usr/lib/x86_64-linux-gnu/wine/x86_64-windows /usr/lib/i386-linux-gnu/wine/i386-windows)
  set(_vlmr_widl_arch --win64)
else()
  set(_vlmr_stdole_guess /usr/lib/i386-linux-gnu/wine/i386-windows /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
  set(_vlmr_widl_arch --win32)
endif()
find_path(VLMR_STDOLE_DIR stdole2.tlb PATHS ${_vlmr_stdole_guess} NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
if(NOT EXISTS ${VLMR_WINDOWS_IDL}/oaidl.idl)
  message(FATAL_ERROR "No oaidl.idl in ${VLMR_WINDOWS_IDL}: install libwine-dev (scripts/install-deps.sh)")
endif()

# Generated headers and type libraries, out of every folder that programs run from: a type
# library file beside a program is one that Wine would register on its own.
set(VLMR_IDL_DIR ${CMAKE_BINARY_DIR}/idl)
file(MAKE_DIRECTORY ${VLMR_IDL_DIR})
include_directories(${VLMR_IDL_DIR})
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${VLMR_IDL_DIR}")

find_package(Python3 COMPONENTS Interpreter REQUIRED)

# vlmr_idl(name idl [DEPENDS files...] [PREDECLARED class-guids...]): ${VLMR_IDL_DIR}/name.tlb
# and name.h. PREDECLARED classes get the predeclared-instance flag, which widl cannot write.
function(vlmr_idl name idl)
  cmake_parse_arguments(ARG "" "" "DEPENDS;PREDECLARED" ${ARGN})
  set(flags ${_vlmr_widl_arch} -I ${VLMR_WINDOWS_IDL} -I ${CMAKE_SOURCE_DIR}/tessel -L ${VLMR_STDOLE_DIR} -L ${VLMR_IDL_DIR})
  set(predeclare)
  if(ARG_PREDECLARED)
    set(predeclare COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/custom/predeclare.py ${VLMR_IDL_DIR}/${name}.tlb
      ${ARG_PREDECLARED})
  endif()
  add_custom_command(
    OUTPUT ${VLMR_IDL_DIR}/${name}.tlb ${VLMR_IDL_DIR}/${name}.h
    COMMAND ${VLMR_WIDL} ${flags} -t -o ${VLMR_IDL_DIR}/${name}.tlb ${idl}
    ${predeclare}
    COMMAND ${VLMR_WIDL} ${flags} -h -o ${VLMR_IDL_DIR}/${name}.h ${idl}
    DEPENDS ${idl} ${ARG_DEPENDS} ${CMAKE_SOURCE_DIR}/custom/predeclare.py
    WORKING_DIRECTORY ${VLMR_IDL_DIR}
    COMMENT "widl ${name}.idl"
    VERBATIM)
endfunction()

vlmr_idl(tessel ${CMAKE_SOURCE_DIR}/tessel/tessel.idl)
vlmr_idl(vlmrcustom ${CMAKE_SOURCE_DIR}/custom/vlmrcustom.idl
  DEPENDS ${CMAKE_SOURCE_DIR}/tessel/tessel.idl ${VLMR_IDL_DIR}/tessel.tlb
  PREDECLARED 159F4046-6C10-4736-9BCC-44DB9CD1C9A1)  # CCustom, the application object
add_custom_target(com_idl DEPENDS ${VLMR_IDL_DIR}/tessel.tlb ${VLMR_IDL_DIR}/tessel.h
  ${VLMR_IDL_DIR}/vlmrcustom.tlb ${VLMR_IDL_DIR}/vlmrcustom.h)

# vlmr_com_server(target output-name tlb-name sources...): an in-process COM server that ships,
# output-name.dll, with the four exports its .def file names (tessel/dll/ServerExports.cpp) and
# the type library tlb-name.tlb built into its resources.
function(vlmr_com_server target output tlb)
  add_library(${target} SHARED ${ARGN} ${CMAKE_SOURCE_DIR}/tessel/dll/ServerExports.cpp)
  set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME ${output})
  target_link_libraries(${target} PRIVATE tessel)
  target_link_options(${target} PRIVATE -Wl,--kill-at $<$<EQUAL:${CMAKE_SIZEOF_VOID_P},4>:-Wl,--enable-stdcall-fixup>)
  foreach(source ${ARGN})
    if(source MATCHES "\\.rc$")
      set_source_files_properties(${source} PROPERTIES OBJECT_DEPENDS ${VLMR_IDL_DIR}/${tlb}.tlb)
    endif()
  endforeach()
  add_dependencies(${target} com_idl)
  vlmr_deliverable(${target})
endfunction()
