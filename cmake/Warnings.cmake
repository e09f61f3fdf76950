# Warnings on and treated as errors for the project's own targets only; third-party code
# (GoogleTest built from source for the mingw presets) keeps its own flags.
function(corvane_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                           -Wno-sign-conversion -Werror)
endfunction()
