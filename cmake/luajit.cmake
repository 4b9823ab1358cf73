# LuaJIT 2.1 for Windows, built from Debian's luajit source package with its
# own makefile: luajit/luajit.exe and luajit/lua51.dll, the runtime that takes
# the place of PUC Lua's DLL of the same name. The makefile builds inside its
# source tree, so each build folder works on a copy of its own.
set(LUAJIT_SOURCE_DIR "${PROJECT_SOURCE_DIR}/build/luajit" CACHE PATH "Unpacked luajit source package")
if(NOT EXISTS "${LUAJIT_SOURCE_DIR}/src/luajit.c")
    execute_process(COMMAND "${PROJECT_SOURCE_DIR}/scripts/get-lua-source.sh" "${LUAJIT_SOURCE_DIR}" luajit
                    RESULT_VARIABLE luajit_fetch_result)
    if(NOT luajit_fetch_result EQUAL 0)
        message(FATAL_ERROR "could not unpack the luajit source package into ${LUAJIT_SOURCE_DIR}")
    endif()
endif()

# The interpreter's code generator runs on the build machine and must have the
# target's pointer size: a 32-bit target needs a 32-bit host compiler.
set(luajit_host_cc gcc)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(luajit_host_cc "gcc -m32")
    execute_process(COMMAND sh -c "echo 'int main(void){return 0;}' | gcc -m32 -x c - -o /dev/null"
                    RESULT_VARIABLE luajit_m32_result OUTPUT_QUIET ERROR_QUIET)
    if(NOT luajit_m32_result EQUAL 0)
        message(FATAL_ERROR "LuaJIT for 32-bit Windows needs a 32-bit host compiler (Debian: gcc-multilib)")
    endif()
endif()
string(REGEX REPLACE "gcc$" "" luajit_tools "${CMAKE_C_COMPILER}")
set(luajit_cross "${luajit_tools}")
# The compiler cache the rest of the build uses, for LuaJIT's compilers too.
if(CMAKE_C_COMPILER_LAUNCHER)
    string(JOIN " " luajit_host_cc ${CMAKE_C_COMPILER_LAUNCHER} ${luajit_host_cc})
    string(JOIN " " luajit_cross ${CMAKE_C_COMPILER_LAUNCHER} ${luajit_cross})
endif()
if(CMAKE_GENERATOR MATCHES "Make")
    set(luajit_make "$(MAKE)")  # shares the outer make's job slots
else()
    set(luajit_make make)
endif()

set(luajit_work "${CMAKE_BINARY_DIR}/luajit-src")
set(luajit_dir "${CMAKE_BINARY_DIR}/luajit")
add_custom_command(
    OUTPUT "${luajit_dir}/luajit.exe" "${luajit_dir}/lua51.dll"
    COMMAND "${CMAKE_COMMAND}" -E rm -rf "${luajit_work}"
    COMMAND "${CMAKE_COMMAND}" -E copy_directory "${LUAJIT_SOURCE_DIR}" "${luajit_work}"
    COMMAND ${luajit_make} -s -C "${luajit_work}" "HOST_CC=${luajit_host_cc}" "CROSS=${luajit_cross}"
            "TARGET_AR=${luajit_tools}ar rcus" "TARGET_STRIP=${luajit_tools}strip"
            TARGET_SYS=Windows BUILDMODE=dynamic CCWARN=-w CCDEBUG=
            # No compiler runtime DLL to ship (the 32-bit one would need libgcc_s_dw2-1.dll).
            TARGET_LDFLAGS=-static-libgcc TARGET_SHLDFLAGS=-static-libgcc
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${luajit_dir}"
    COMMAND "${CMAKE_COMMAND}" -E copy "${luajit_work}/src/luajit.exe" "${luajit_work}/src/lua51.dll" "${luajit_dir}"
    VERBATIM)
add_custom_target(luajit ALL DEPENDS "${luajit_dir}/luajit.exe" "${luajit_dir}/lua51.dll")
