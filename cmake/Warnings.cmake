# The warnings every build of the project's own code turns on.
if(MSVC)
    # The sources are UTF-8 with Chinese text in their literals.
    add_compile_options(/W4 /utf-8)
else()
    add_compile_options(-Wall -Wextra -Wpedantic)
endif()
