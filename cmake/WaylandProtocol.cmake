# SPDX-License-Identifier: MIT
# wayland_protocol(<target> <xml> <client|server>)
#
# Turns a Wayland protocol description into its C glue with wayland-scanner and
# adds it to target: the header is reached as "<name>-<side>-protocol.h".
find_program(WAYLAND_SCANNER wayland-scanner REQUIRED)

function(wayland_protocol target xml side)
    get_filename_component(name ${xml} NAME_WE)
    set(dir ${PROJECT_BINARY_DIR}/wayland/${target})
    set(header ${dir}/${name}-${side}-protocol.h)
    set(code ${dir}/${name}-${side}-protocol.c)
    add_custom_command(OUTPUT ${header} ${code}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
        COMMAND ${WAYLAND_SCANNER} ${side}-header ${xml} ${header}
        COMMAND ${WAYLAND_SCANNER} private-code ${xml} ${code}
        DEPENDS ${xml}
        COMMENT "wayland-scanner ${name} (${side})")
    target_sources(${target} PRIVATE ${header} ${code})
    target_include_directories(${target} PRIVATE ${dir})
endfunction()
