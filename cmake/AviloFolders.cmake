# avilo_add_folder(<absolute dir>): add_subdirectory when the folder has a CMakeLists.txt and its
# name passes the AVILO_ONLY filter.
function(avilo_add_folder dir)
    if(NOT IS_DIRECTORY ${dir} OR NOT EXISTS ${dir}/CMakeLists.txt)
        return()
    endif()
    if(AVILO_ONLY)
        get_filename_component(name ${dir} NAME)
        if(NOT name IN_LIST AVILO_ONLY)
            return()
        endif()
    endif()
    add_subdirectory(${dir})
endfunction()
