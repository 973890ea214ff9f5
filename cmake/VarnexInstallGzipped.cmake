# varnex_install_gzipped(<file> DESTINATION <dir> [LINKS <names>...])
# Installs <file> compressed as <file>.gz, as Debian wants man pages and changelogs. gzip -n leaves
# out the name and the time stamp, so every build makes the same bytes. LINKS adds symbolic links
# <name>.gz to it beside it, for programs that share one man page.
find_program(VARNEX_GZIP gzip REQUIRED)

function(varnex_install_gzipped file)
    cmake_parse_arguments(ARG "" "DESTINATION" "LINKS" ${ARGN})
    get_filename_component(source "${file}" ABSOLUTE)
    get_filename_component(name "${file}" NAME)
    set(output "${CMAKE_CURRENT_BINARY_DIR}/${name}.gz")
    add_custom_command(OUTPUT "${output}"
        COMMAND "${VARNEX_GZIP}" -9nc "${source}" > "${output}"
        DEPENDS "${source}"
        COMMENT "Compressing ${name}"
        VERBATIM)
    string(MAKE_C_IDENTIFIER "gzip_${name}" target)
    add_custom_target(${target} ALL DEPENDS "${output}")
    install(FILES "${output}" DESTINATION "${ARG_DESTINATION}")
    foreach(link IN LISTS ARG_LINKS)
        file(CREATE_LINK "${name}.gz" "${CMAKE_CURRENT_BINARY_DIR}/${link}.gz" SYMBOLIC)
        install(FILES "${CMAKE_CURRENT_BINARY_DIR}/${link}.gz" DESTINATION "${ARG_DESTINATION}")
    endforeach()
endfunction()
