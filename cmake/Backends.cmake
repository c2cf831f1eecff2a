# Platform backends: each platform need is one file per backend, <Name>.<suffix>.cpp, chosen here and
# nowhere else, so no shared source or header needs #ifdef for the platform.
#
#   brindlemar_backend(<target> <Name> POSIX <suffix> WIN32 <suffix> [FALLBACK <suffix>]
#                      [POSIX_LIBS <library>...] [WIN32_LIBS <library>...])
#
# adds <Name>.<suffix>.cpp of the platform being built (WIN32 on Windows, POSIX elsewhere) to the target and
# links the libraries that backend needs. FALLBACK is taken when the platform's backend file does not exist
# yet (the registry export file stands in for the Windows registry); without it a missing file is an error.
if(WIN32)
    set(BRINDLEMAR_PLATFORM WIN32)
else()
    set(BRINDLEMAR_PLATFORM POSIX)
endif()

function(brindlemar_backend target name)
    cmake_parse_arguments(PARSE_ARGV 2 ARG "" "POSIX;WIN32;FALLBACK" "POSIX_LIBS;WIN32_LIBS")
    if(ARG_UNPARSED_ARGUMENTS OR NOT ARG_POSIX OR NOT ARG_WIN32)
        message(FATAL_ERROR "brindlemar_backend(${target} ${name} ...): give POSIX <suffix> and WIN32 <suffix>")
    endif()
    set(suffix ${ARG_${BRINDLEMAR_PLATFORM}})
    set(libraries ${ARG_${BRINDLEMAR_PLATFORM}_LIBS})
    if(NOT EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${name}.${suffix}.cpp)
        if(NOT ARG_FALLBACK)
            message(FATAL_ERROR "${target}: no ${name} backend for ${BRINDLEMAR_PLATFORM} (${name}.${suffix}.cpp)")
        endif()
        set(suffix ${ARG_FALLBACK})
        set(libraries "")
        foreach(platform POSIX WIN32)
            if(ARG_FALLBACK STREQUAL ARG_${platform})
                set(libraries ${ARG_${platform}_LIBS})
            endif()
        endforeach()
    endif()
    target_sources(${target} PRIVATE ${name}.${suffix}.cpp)
    if(libraries)
        target_link_libraries(${target} PUBLIC ${libraries})
    endif()
endfunction()
