# Run by CPack after the zip: writes the binary rock into the rocks server
# folder of its Lua version, rocks-X.Y/ of the release, and the manifest of
# that folder. A rock is a zip of what `luarocks install` puts in the tree's
# rock folder: the rockspec, lib/ with the module, doc/, and rock_manifest with
# the MD5 sum of each file. Its name carries no Lua version; the folder does.
get_filename_component(rockspec_name "${CPACK_OSBRIDGE_ROCKSPEC}" NAME)
string(REGEX REPLACE "\\.rockspec$" "" rock_name "${rockspec_name}")
set(server "${CPACK_OSBRIDGE_RELEASE_DIR}/rocks-${CPACK_OSBRIDGE_LUA_VERSION}")
set(rock "${server}/${rock_name}.${CPACK_OSBRIDGE_ROCK_ARCH}.rock")
set(stage "${CPACK_PACKAGE_DIRECTORY}/_CPack_Packages/rock")
if(NOT CPACK_OSBRIDGE_LUAROCKS_ADMIN)
    message(FATAL_ERROR "luarocks-admin (Debian: luarocks) is needed to write the manifest of ${server}")
endif()

file(REMOVE_RECURSE "${stage}")
# The rockspec accepts every Lua the source builds for; the module in this
# rock runs under the one it was built for, and its dependency says which.
file(READ "${CPACK_OSBRIDGE_ROCKSPEC}" rockspec)
string(REGEX REPLACE "\"lua >= [^\"]*\"" "\"lua ~> ${CPACK_OSBRIDGE_LUA_VERSION}\"" rockspec "${rockspec}")
if(NOT rockspec MATCHES "\"lua ~> ${CPACK_OSBRIDGE_LUA_VERSION}\"")
    message(FATAL_ERROR "no Lua dependency to name the version in ${CPACK_OSBRIDGE_ROCKSPEC}")
endif()
file(WRITE "${stage}/${rockspec_name}" "${rockspec}")
file(COPY "${CPACK_OSBRIDGE_MODULE}" DESTINATION "${stage}/lib")
file(COPY "${CPACK_OSBRIDGE_DOCS}/" DESTINATION "${stage}/doc")

# rock_manifest, in the layout LuaRocks writes: one table per folder.
function(rock_manifest_entries dir indent out)
    file(GLOB entries RELATIVE "${stage}/${dir}" "${stage}/${dir}*")
    list(SORT entries)
    set(text "")
    foreach(entry IN LISTS entries)
        if(IS_DIRECTORY "${stage}/${dir}${entry}")
            rock_manifest_entries("${dir}${entry}/" "${indent}   " inner)
            string(APPEND text "${indent}[\"${entry}\"] = {\n${inner}${indent}},\n")
        elseif(NOT entry STREQUAL "rock_manifest")
            file(MD5 "${stage}/${dir}${entry}" sum)
            string(APPEND text "${indent}[\"${entry}\"] = \"${sum}\",\n")
        endif()
    endforeach()
    set(${out} "${text}" PARENT_SCOPE)
endfunction()
rock_manifest_entries("" "   " entries)
file(WRITE "${stage}/rock_manifest" "rock_manifest = {\n${entries}}\n")

file(GLOB contents RELATIVE "${stage}" "${stage}/*")
file(REMOVE "${rock}")
file(MAKE_DIRECTORY "${server}")
execute_process(COMMAND "${CMAKE_COMMAND}" -E tar cf "${rock}" --format=zip -- ${contents}
                WORKING_DIRECTORY "${stage}" RESULT_VARIABLE tar_result)
if(NOT tar_result EQUAL 0)
    message(FATAL_ERROR "could not write ${rock}")
endif()
# Of every rock in the folder: those of the other architecture too, when the
# release folder gathers both.
execute_process(COMMAND "${CPACK_OSBRIDGE_LUAROCKS_ADMIN}" make-manifest "${server}"
                RESULT_VARIABLE manifest_result OUTPUT_VARIABLE manifest_output ERROR_VARIABLE manifest_output)
if(NOT manifest_result EQUAL 0)
    message(FATAL_ERROR "luarocks-admin make-manifest ${server} failed:\n${manifest_output}")
endif()
# A LuaRocks asks for the manifest of its own Lua version; the luarocks-admin
# here makes none for a Lua newer than it knows (5.5), which gets a copy of
# the whole one.
set(versioned "${server}/manifest-${CPACK_OSBRIDGE_LUA_VERSION}")
if(NOT EXISTS "${versioned}")
    file(COPY_FILE "${server}/manifest" "${versioned}")
endif()
message(STATUS "- binary rock: ${rock}")
