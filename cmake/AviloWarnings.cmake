# Warnings for every target of the project: add_compile_options applies to all targets defined
# after this point.  AVILO_WERROR (on in CI) makes every warning an error.
option(AVILO_WERROR "Treat compiler warnings as errors" OFF)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    add_compile_options(-Wall -Wextra)
    if(AVILO_WERROR)
        add_compile_options(-Werror)
    endif()
endif()
