# Run by CPack after binary-rock.cmake: the rest of the release, in its folder.
#   - the zip, when the release folder is not the build folder;
#   - the module's source archive, named by the rockspec's source.url
#     (osbridge-VERSION.tar.gz, everything under osbridge-VERSION/);
#   - the source rock, osbridge-VERSION-1.src.rock: a zip of the rockspec and
#     that archive, as `luarocks pack` lays it out. (`luarocks pack` itself
#     looks for a source.url without a protocol in a temporary folder of its
#     own, where the archive never is.)
if(NOT CPACK_OSBRIDGE_RELEASE_DIR STREQUAL CPACK_PACKAGE_DIRECTORY)
    file(COPY ${CPACK_PACKAGE_FILES} DESTINATION "${CPACK_OSBRIDGE_RELEASE_DIR}")
endif()

get_filename_component(rockspec_name "${CPACK_OSBRIDGE_ROCKSPEC}" NAME)
string(REGEX REPLACE "\\.rockspec$" "" rock_name "${rockspec_name}")
file(READ "${CPACK_OSBRIDGE_ROCKSPEC}" rockspec)
if(NOT rockspec MATCHES "\n   url = \"([^\"/]+)\\.tar\\.gz\"")
    message(FATAL_ERROR "no source archive of the release as source.url in ${CPACK_OSBRIDGE_ROCKSPEC}")
endif()
set(top "${CMAKE_MATCH_1}")
set(stage "${CPACK_PACKAGE_DIRECTORY}/_CPack_Packages/source")

file(REMOVE_RECURSE "${stage}")
foreach(entry IN LISTS CPACK_OSBRIDGE_SOURCES)
    file(COPY "${CPACK_OSBRIDGE_SOURCE_DIR}/${entry}" DESTINATION "${stage}/${top}")
endforeach()
file(COPY "${CPACK_OSBRIDGE_ROCKSPEC}" DESTINATION "${stage}")
execute_process(COMMAND "${CMAKE_COMMAND}" -E tar czf "${top}.tar.gz" -- "${top}"
                WORKING_DIRECTORY "${stage}" RESULT_VARIABLE tar_result)
if(tar_result EQUAL 0)
    execute_process(COMMAND "${CMAKE_COMMAND}" -E tar cf "${rock_name}.src.rock" --format=zip
                            -- "${rockspec_name}" "${top}.tar.gz"
                    WORKING_DIRECTORY "${stage}" RESULT_VARIABLE tar_result)
endif()
if(NOT tar_result EQUAL 0)
    message(FATAL_ERROR "could not write ${top}.tar.gz or ${rock_name}.src.rock in ${stage}")
endif()
file(COPY "${stage}/${top}.tar.gz" "${stage}/${rock_name}.src.rock" DESTINATION "${CPACK_OSBRIDGE_RELEASE_DIR}")
message(STATUS "- source rock: ${CPACK_OSBRIDGE_RELEASE_DIR}/${rock_name}.src.rock")
