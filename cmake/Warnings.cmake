# The warnings every build of the project's own code turns on.
add_compile_options(-Wall -Wextra -Wpedantic)

# Warnings as errors keep the count at zero. Off by default, since other compilers warn
# differently; ./test and CI turn it on (-DKESTROVAN_WERROR=ON, or KESTROVAN_WERROR=ON in the
# environment of the configure step, which reaches every build ./test makes).
option(KESTROVAN_WERROR "Treat compiler warnings as errors" OFF)
if(KESTROVAN_WERROR OR "$ENV{KESTROVAN_WERROR}")
    add_compile_options(-Werror)
endif()
