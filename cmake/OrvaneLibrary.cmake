# SPDX-License-Identifier: MIT
# orvane_library(<target> SOURCES ... [PUBLIC ...] [PRIVATE ...] [HEADERS ...])
#
# A library of the tree, seen by its users under its own folder's name and
# nothing else. Each library gets an include root of its own that holds only a
# link to its folder, and users reach it only by linking the library, so a file
# that includes a header of a library it does not link does not compile.
# HEADERS exposes single files instead of the folder, for a folder that also
# holds other libraries (the platform interfaces, with a backend per subfolder).
function(orvane_library target)
    cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC;PRIVATE;HEADERS" ${ARGN})
    add_library(${target} STATIC ${ARG_SOURCES})
    target_link_libraries(${target} PUBLIC ${ARG_PUBLIC} PRIVATE ${ARG_PRIVATE} orvane_warnings)
    file(RELATIVE_PATH prefix ${PROJECT_SOURCE_DIR}/src ${CMAKE_CURRENT_SOURCE_DIR})
    set(root ${PROJECT_BINARY_DIR}/include/${target})
    file(REMOVE_RECURSE ${root})  # links only: their targets stay
    if(ARG_HEADERS)
        file(MAKE_DIRECTORY ${root}/${prefix})
        foreach(header IN LISTS ARG_HEADERS)
            get_filename_component(name ${header} NAME)
            file(CREATE_LINK ${header} ${root}/${prefix}/${name} SYMBOLIC)
        endforeach()
    else()
        get_filename_component(parent ${root}/${prefix} DIRECTORY)
        file(MAKE_DIRECTORY ${parent})
        file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${root}/${prefix} SYMBOLIC)
    endif()
    target_include_directories(${target} PUBLIC ${root})
endfunction()
