# Fails when a core source (runtime, platform interfaces, subsystems) includes a
# platform backend header.
file(GLOB_RECURSE sources ${ROOT}/runtime/* ${ROOT}/ddc/* ${ROOT}/displays/* ${ROOT}/controls/*
    ${ROOT}/input/*)
file(GLOB interfaces ${ROOT}/platform/*.h ${ROOT}/platform/*.cpp)
list(APPEND sources ${interfaces})
set(bad "")
foreach(f IN LISTS sources)
    file(STRINGS ${f} hits REGEX "#include [\"<]platform/(sim|linux)/")
    if(hits)
        list(APPEND bad "${f}: ${hits}")
    endif()
endforeach()
if(bad)
    message(FATAL_ERROR "core includes a backend:\n${bad}")
endif()
list(LENGTH sources n)
message(STATUS "layering: ${n} core files checked")
