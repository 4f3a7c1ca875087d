# Warnings for the project's own code; third-party code is built without them.
function(tp_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()
