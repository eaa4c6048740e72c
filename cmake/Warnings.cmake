# The warnings every build of the project's own code turns on.
add_compile_options(-Wall -Wextra -Wpedantic)
