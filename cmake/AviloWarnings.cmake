# Warnings for every target of the project: add_compile_options applies to all
# targets defined after this point.
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    add_compile_options(-Wall -Wextra)
endif()
