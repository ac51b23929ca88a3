# avilo_hide_symbols(<target> <prefix>): the shared library <target> exports only what its export
# header marks <prefix>_API; everything else (its helpers, the inline functions of its headers,
# and the static libraries linked into it, such as the numbers module) stays internal.  The
# library's own sources are compiled with <prefix>_BUILDING defined, which the export header
# reads on platforms that tell exporting from importing.
function(avilo_hide_symbols target prefix)
    set_target_properties(${target} PROPERTIES
        CXX_VISIBILITY_PRESET hidden
        VISIBILITY_INLINES_HIDDEN ON)
    target_compile_definitions(${target} PRIVATE ${prefix}_BUILDING)
    target_link_options(${target} PRIVATE LINKER:--exclude-libs,ALL)
endfunction()
