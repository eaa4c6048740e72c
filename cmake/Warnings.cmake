# The warnings every build of the project's own code turns on.
if(MSVC)
    # The sources are UTF-8 with Chinese text in their literals.
    add_compile_options(/W4 /utf-8)
else()
    add_compile_options(-Wall -Wextra -Wpedantic)
endif()

# Warnings as errors keep the count at zero. Off by default, since other compilers warn
# differently; the project's scripts configure every tree they build with it on, so that ./run
# and ./test agree on the flags and reuse each other's objects in build/.
option(KESTROVAN_WERROR "Treat compiler warnings as errors" OFF)
if(KESTROVAN_WERROR)
    if(MSVC)
        add_compile_options(/WX)
    else()
        add_compile_options(-Werror)
    endif()
endif()
