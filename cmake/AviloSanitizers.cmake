# Sanitizer builds.  AVILO_SANITIZE: AddressSanitizer + UndefinedBehaviorSanitizer,
# AVILO_TSAN: ThreadSanitizer.  They are exclusive.
if(AVILO_SANITIZE AND AVILO_TSAN)
    message(FATAL_ERROR "AVILO_SANITIZE and AVILO_TSAN cannot be combined")
endif()
if(AVILO_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()
if(AVILO_TSAN)
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
endif()
