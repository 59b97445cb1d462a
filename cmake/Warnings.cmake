# Warnings for every project target; call morrowdeck_warnings(target).
function(morrowdeck_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor)
endfunction()
